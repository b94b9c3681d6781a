// The titles the engine benches insert: random words, the same list in every run and program.
#pragma once

#include <random>
#include <string>
#include <vector>

inline std::vector<std::string> randomTitles(std::size_t count)
{
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> length(8, 40), letter(0, 25), space(0, 6);
    std::vector<std::string> titles;
    titles.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string t;
        for (int n = length(rng); n > 0; --n)
            t += space(rng) == 0 ? ' ' : static_cast<char>((t.empty() ? 'A' : 'a') + letter(rng));
        titles.push_back(t);
    }
    return titles;
}

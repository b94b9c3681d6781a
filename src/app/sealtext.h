// Sealed values: how the password lock keeps its state and the password in the settings file.
//
// A sealed value is the Base64 text (standard alphabet, "=" fill, no line breaks) of the RC4
// encryption of a text's bytes in the user's code page, under the SHA-1 digest of a pass phrase
// built into the program. Every call starts a fresh cipher from the beginning of its keystream,
// so equal texts give equal sealed values: the program compares sealed texts and never
// decrypts one. "Y" seals to "rA==", "N" to "uw==".
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <span>

QString SealText(const QString &text);

// The stream cipher behind SealText. Its state lives only as long as the object and is
// overwritten with 0xFF when the object goes.
class Rc4Cipher
{
public:
    static constexpr int MaxKeyBits = 2048;

    // keyBits must be above 0, a multiple of 4 and at most MaxKeyBits, and key must hold at
    // least keyBits / 8 bytes (rounded up); otherwise std::invalid_argument("Invalid key size").
    Rc4Cipher(std::span<const uint8_t> key, int keyBits);
    ~Rc4Cipher();
    Rc4Cipher(const Rc4Cipher &) = delete;
    Rc4Cipher &operator=(const Rc4Cipher &) = delete;

    // Encrypts (or decrypts: it is the same) data in place, going on along the keystream.
    void apply(std::span<uint8_t> data);

private:
    std::array<uint8_t, 256> m_state{};
    std::array<uint8_t, 256> m_saved{}; // the schedule as keyed, for a restart
    uint8_t m_i = 0;
    uint8_t m_j = 0;
};

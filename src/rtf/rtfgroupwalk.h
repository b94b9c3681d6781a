// The walk over an RTF document's tokens that every reader of it makes: the document reader and
// the search's plain-text pass derive from it, so the rules below hold for both alike.
//
// - Only the first outermost group is the document: tokens before its brace and after it closes
//   are not read.
// - Groups nest up to MaxDepth; a deeper group is counted but keeps its parent's state.
// - After \uN, the next \ucN tokens (a text character counts one) are the fallback and dropped.
// - \* marks the next word: a reader that does not know it as a destination skips the group.
// - Bytes gathered for decoding are flushed before anything can change the state they decode in.
//
// `Group` is the reader's per-group state; it holds at least `int uc`. The walk never fails on
// its own: a reader that meets what it cannot handle calls giveUp() and walk() returns false.
//
//     class Pass : public RtfGroupWalk<Group> { ... void text(QByteArrayView bytes) override; };
//     if (!pass.walk()) ...   // a hook gave up
#pragma once

#include "rtftokenizer.h"
#include "rtfwords.h"

#include <algorithm>
#include <vector>

template <class Group>
class RtfGroupWalk
{
public:
    static constexpr std::size_t MaxDepth = 256;

    explicit RtfGroupWalk(QByteArrayView bytes) : m_tokens(bytes) {}
    virtual ~RtfGroupWalk() = default;

    // Walks to the end of the document or of the bytes; false when a hook gave up.
    bool walk();

protected:
    void giveUp() { m_gaveUp = true; }
    Group &top() { return m_stack.back(); }
    // Where the current token starts in the bytes.
    qsizetype tokenStart() const { return m_tokenStart; }
    qsizetype position() const { return m_tokens.position(); }
    // Groups open beyond MaxDepth.
    int overflow() const { return m_overflow; }
    // From text() or hexByte(): the bytes of the Text and HexByte tokens that come next, into
    // `out`, for a reader that would only append them there itself. Nothing while fallback
    // characters of \uN are still to drop.
    void appendTextBytes(std::string &out)
    {
        if (m_skip == 0)
            m_tokens.appendTextBytes(out);
    }

    virtual void flush() = 0;
    // A nested group has opened: top() is its copy of its parent's state.
    virtual void groupOpened() {}
    // top() is about to close, then has closed (the stack is empty after the outermost group).
    virtual void groupClosing() {}
    virtual void groupClosed(const Group &) {}
    virtual void unicode(char16_t unit) = 0;
    // Any control word but \u; starred when \* came just before it.
    virtual void word(const RtfToken &token, bool starred) = 0;
    // Any control symbol but \*.
    virtual void symbol(std::uint8_t symbol) = 0;
    virtual void hexByte(std::uint8_t byte) = 0;
    virtual void binary(QByteArrayView bytes) = 0;
    // Never empty; the fallback characters are already taken off.
    virtual void text(QByteArrayView bytes) = 0;

    std::vector<Group> m_stack;

private:
    void brace();
    void openGroup();
    bool closeGroup();
    void controlWord(const RtfToken &token);
    void otherToken(const RtfToken &token);

    RtfTokenizer m_tokens;
    qsizetype m_tokenStart = 0;
    int m_overflow = 0;
    int m_skip = 0; // fallback tokens of \uN still to drop
    bool m_started = false;
    bool m_starPending = false;
    bool m_gaveUp = false;
};

template <class Group>
bool RtfGroupWalk<Group>::walk()
{
    while (!m_gaveUp) {
        m_tokenStart = m_tokens.position();
        const RtfToken token = m_tokens.next();
        if (token.kind == RtfToken::End || (token.kind == RtfToken::GroupEnd && !closeGroup()))
            break;
        if (token.kind == RtfToken::GroupStart)
            openGroup();
        else if (token.kind == RtfToken::GroupEnd || m_stack.empty())
            continue; // text before the first brace
        else if (m_skip > 0 && token.kind != RtfToken::Text)
            --m_skip;
        else if (token.kind == RtfToken::ControlWord)
            controlWord(token);
        else
            otherToken(token);
    }
    return !m_gaveUp;
}

template <class Group>
void RtfGroupWalk<Group>::brace()
{
    flush();
    m_skip = 0;
    m_starPending = false;
}

template <class Group>
void RtfGroupWalk<Group>::openGroup()
{
    brace();
    if (m_stack.empty()) {
        if (!m_started)
            m_stack.emplace_back();
        m_started = true;
    } else if (m_stack.size() >= MaxDepth) {
        ++m_overflow;
    } else {
        m_stack.push_back(m_stack.back());
        groupOpened();
    }
}

// False when the document's outermost group has closed.
template <class Group>
bool RtfGroupWalk<Group>::closeGroup()
{
    brace();
    if (m_overflow > 0) {
        --m_overflow;
        return true;
    }
    if (m_stack.empty())
        return false;
    groupClosing();
    const Group closed = std::move(m_stack.back());
    m_stack.pop_back();
    groupClosed(closed);
    return !m_stack.empty();
}

template <class Group>
void RtfGroupWalk<Group>::controlWord(const RtfToken &token)
{
    flush();
    const bool starred = m_starPending;
    m_starPending = false;
    if (token.text != "u") {
        word(token, starred);
        return;
    }
    if (const char16_t unit = RtfWords::unicodeUnit(token.hasParameter, token.parameter))
        unicode(unit);
    m_skip = top().uc;
}

template <class Group>
void RtfGroupWalk<Group>::otherToken(const RtfToken &token)
{
    if (token.kind == RtfToken::ControlSymbol && token.byte == '*') {
        flush();
        m_starPending = true;
        return;
    }
    m_starPending = false;
    if (token.kind == RtfToken::ControlSymbol) {
        symbol(token.byte);
    } else if (token.kind == RtfToken::HexByte) {
        hexByte(token.byte);
    } else if (token.kind == RtfToken::Binary) {
        binary(token.text);
    } else {
        const qsizetype skipped = std::min<qsizetype>(m_skip, token.text.size());
        m_skip -= int(skipped);
        if (skipped < token.text.size())
            text(token.text.sliced(skipped));
    }
}

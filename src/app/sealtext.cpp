#include "sealtext.h"

#include "systemcodepage.h"

#include <QCryptographicHash>

#include <stdexcept>

namespace {

// Twelve single-byte letters, no terminator: the digest of exactly these bytes is the key.
constexpr char PassPhrase[] = "tessaroblink";
constexpr int DigestBits = 160;

// Plain stores could be dropped by the optimiser as dead; these must happen.
void wipe(void *data, size_t size)
{
    auto *p = static_cast<volatile uint8_t *>(data);
    for (size_t i = 0; i < size; ++i)
        p[i] = 0xFF;
}

} // namespace

Rc4Cipher::Rc4Cipher(std::span<const uint8_t> key, int keyBits)
{
    // A key of a part byte uses that byte whole.
    const size_t keyLength = size_t(keyBits + 7) / 8;
    if (keyBits <= 0 || keyBits % 4 != 0 || keyBits > MaxKeyBits || key.size() < keyLength)
        throw std::invalid_argument("Invalid key size");
    for (int n = 0; n < 256; ++n)
        m_state[n] = uint8_t(n);
    uint8_t j = 0;
    for (int n = 0; n < 256; ++n) {
        j = uint8_t(j + m_state[n] + key[size_t(n) % keyLength]);
        std::swap(m_state[n], m_state[j]);
    }
    m_saved = m_state;
}

Rc4Cipher::~Rc4Cipher()
{
    wipe(m_state.data(), m_state.size());
    wipe(m_saved.data(), m_saved.size());
    wipe(&m_i, 1);
    wipe(&m_j, 1);
}

void Rc4Cipher::apply(std::span<uint8_t> data)
{
    for (uint8_t &byte : data) {
        m_i = uint8_t(m_i + 1);
        m_j = uint8_t(m_j + m_state[m_i]);
        std::swap(m_state[m_i], m_state[m_j]);
        byte ^= m_state[uint8_t(m_state[m_i] + m_state[m_j])];
    }
}

QString SealText(const QString &text)
{
    QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(PassPhrase, sizeof PassPhrase - 1), QCryptographicHash::Sha1);
    const int keyBits = std::min(Rc4Cipher::MaxKeyBits, DigestBits);
    QByteArray bytes = SystemCodePage::encode(text);
    {
        Rc4Cipher cipher(std::span(reinterpret_cast<const uint8_t *>(digest.constData()),
                                   size_t(digest.size())),
                         keyBits);
        cipher.apply(std::span(reinterpret_cast<uint8_t *>(bytes.data()), size_t(bytes.size())));
    }
    wipe(digest.data(), size_t(digest.size()));
    return QString::fromLatin1(bytes.toBase64());
}

#include "session/Traffic.h"

namespace session {

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return "ok";
    case Verdict::BadChecksum:
        return "bad-checksum";
    case Verdict::Unexpected:
        return "unexpected";
    case Verdict::Dropped:
        return "dropped";
    }
    return "?";
}

QByteArray VisibleText(const QByteArray& bytes) {
    qsizetype length = bytes.size();
    if (bytes.endsWith("\r\n"))
        length -= 2;
    QByteArray text;
    text.reserve(length);
    static const char kHex[] = "0123456789ABCDEF";
    for (qsizetype i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += static_cast<char>(c);
        } else {
            text += "\\x";
            text += kHex[c >> 4];
            text += kHex[c & 0x0F];
        }
    }
    return text;
}

} // namespace session

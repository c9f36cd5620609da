#include "plugins/aviaro/gauge_package/path_codec.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int AlphabetIndex(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string CPathCodec::Encode(const std::wstring& path) {
    std::string out;
    out.reserve(path.size() * 5 + 1);
    std::size_t i = 0;
    while (i < path.size()) {
        wchar_t c = path[i];
        if (c == L'<') {
            // Written as an empty run, so that decoding gives it back.
            out += "<>";
            ++i;
        } else if (static_cast<unsigned>(c) < 0x100) {
            out += static_cast<char>(static_cast<unsigned char>(c));
            ++i;
        } else {
            out += '<';
            unsigned bits = 0;
            int count = 0;
            while (i < path.size() && static_cast<unsigned>(path[i]) >= 0x100) {
                bits = (bits << 16) | (static_cast<unsigned>(path[i]) & 0xFFFF);
                count += 16;
                while (count >= 6) {
                    count -= 6;
                    out += kAlphabet[(bits >> count) & 0x3F];
                }
                bits &= (1u << count) - 1;
                ++i;
            }
            if (count > 0) out += kAlphabet[(bits << (6 - count)) & 0x3F];
            out += '>';
        }
    }
    return out;
}

std::wstring CPathCodec::Decode(const std::string& encoded) {
    std::wstring out;
    bool inRun = false;
    bool runEmpty = false;
    unsigned bits = 0;
    int count = 0;
    for (char ch : encoded) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (!inRun) {
            if (c == '<') {
                inRun = true;
                runEmpty = true;
                bits = 0;
                count = 0;
            } else {
                out += static_cast<wchar_t>(c);
            }
            continue;
        }
        int value = AlphabetIndex(c);
        if (value >= 0) {
            runEmpty = false;
            bits = ((bits << 6) | static_cast<unsigned>(value)) & 0x3FFFFF;
            count += 6;
            if (count >= 16) {
                count -= 16;
                out += static_cast<wchar_t>((bits >> count) & 0xFFFF);
            }
            continue;
        }
        inRun = false;
        if (c == '>') {
            if (runEmpty) out += L'<';
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

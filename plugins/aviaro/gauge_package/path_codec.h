// A reversible escape encoding of UTF-16 paths into 8-bit strings, so that a
// Unicode path can pass through the cabinet decompressor's ANSI interface.
// Characters below U+0100 stay one byte each; a run of characters at or above
// U+0100 becomes "<", the run's 16-bit code units as one Base64 bit stream
// (most significant bit first, no padding), and ">". A literal "<" is written
// as "<>". The encoded form contains "<" exactly when the path holds characters
// above U+00FF or a "<".
#pragma once

#include <string>

class CPathCodec {
public:
    static std::string Encode(const std::wstring& path);
    static std::wstring Decode(const std::string& encoded);
};

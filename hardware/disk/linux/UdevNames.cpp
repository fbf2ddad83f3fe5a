// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/UdevNames.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace drivetherm {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the valid UTF-8 sequence at the start of `bytes`, or 0.
std::size_t utf8SequenceLength(std::string_view bytes) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

// One token of a kernel name, for the natural order.
struct NameToken {
    enum class Kind { Letters, Index, Digits } kind;
    std::string_view text;
};

constexpr std::array<std::string_view, 4> kLetterNumberedPrefixes{"xvd", "sd", "hd", "vd"};

std::vector<NameToken> tokenize(std::string_view name) {
    std::vector<NameToken> tokens;
    std::size_t start = 0;
    while (start < name.size()) {
        const bool digits = isDigit(name[start]);
        std::size_t end = start;
        while (end < name.size() && isDigit(name[end]) == digits) ++end;
        tokens.push_back({digits ? NameToken::Kind::Digits : NameToken::Kind::Letters,
                          name.substr(start, end - start)});
        start = end;
    }
    // "sdaa": the letters after the prefix number the disk, so they count like digits do.
    if (!tokens.empty() && tokens.front().kind == NameToken::Kind::Letters) {
        const std::string_view first = tokens.front().text;
        for (const std::string_view prefix : kLetterNumberedPrefixes) {
            if (first.size() > prefix.size() && first.starts_with(prefix) &&
                std::all_of(first.begin() + static_cast<std::ptrdiff_t>(prefix.size()), first.end(),
                            [](char c) { return c >= 'a' && c <= 'z'; })) {
                tokens.front().text = prefix;
                tokens.insert(tokens.begin() + 1,
                              {NameToken::Kind::Index, first.substr(prefix.size())});
                break;
            }
        }
    }
    return tokens;
}

// <0, 0, >0 like a three-way comparison.
int compareTokens(const NameToken& a, const NameToken& b) {
    if (a.kind == b.kind && a.kind != NameToken::Kind::Letters) {
        std::string_view left = a.text;
        std::string_view right = b.text;
        if (a.kind == NameToken::Kind::Digits) {
            left.remove_prefix(std::min(left.find_first_not_of('0'), left.size()));
            right.remove_prefix(std::min(right.find_first_not_of('0'), right.size()));
        }
        if (left.size() != right.size()) return left.size() < right.size() ? -1 : 1;
        if (const int order = left.compare(right); order != 0) return order;
    }
    return a.text.compare(b.text);
}

}  // namespace

std::string decodeUdevEscapes(std::string_view encoded) {
    std::string decoded;
    decoded.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x') {
            const int high = hexValue(encoded[i + 2]);
            const int low = hexValue(encoded[i + 3]);
            if (high >= 0 && low >= 0) {
                decoded += static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        decoded += encoded[i];
    }
    return decoded;
}

std::string trimTrailingBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

std::string printableText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t length = utf8SequenceLength(bytes);
        const auto first = static_cast<unsigned char>(bytes[0]);
        if (length == 0 || (length == 1 && (first < 0x20 || first == 0x7F))) {
            text += '?';
            bytes.remove_prefix(1);
        } else {
            text.append(bytes.substr(0, length));
            bytes.remove_prefix(length);
        }
    }
    return text;
}

std::string modelFromUdev(std::string_view encoded) {
    return printableText(trimTrailingBlanks(decodeUdevEscapes(encoded)));
}

std::string modelFromSysfs(std::string_view raw) {
    return printableText(trimTrailingBlanks(raw));
}

bool kernelNameLess(std::string_view a, std::string_view b) {
    const auto left = tokenize(a);
    const auto right = tokenize(b);
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (const int order = compareTokens(left[i], right[i]); order != 0) return order < 0;
    }
    if (left.size() != right.size()) return left.size() < right.size();
    return a < b;
}

bool isSafeDeviceName(std::string_view name) {
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace drivetherm

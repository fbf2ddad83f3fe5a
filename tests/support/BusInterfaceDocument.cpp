// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/support/BusInterfaceDocument.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace drivetherm::testing {
namespace {

constexpr const char* kAuthorizationAnnotation = "com.quillmoor.Drivetherm.Authorization";

std::string unescape(const std::string& text) {
    static const std::pair<const char*, char> kEntities[] = {
        {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}};
    std::string plain;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : kEntities) {
            if (text.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                plain += c;
                i += std::char_traits<char>::length(entity);
                replaced = true;
                break;
            }
        }
        if (!replaced) plain += text[i++];
    }
    return plain;
}

struct Tag {
    std::string name;
    std::map<std::string, std::string> attributes;
    bool closing = false;      // </name>
    bool selfClosing = false;  // <name/>
};

// Reads the tag whose text lies between '<' and '>'.
Tag readTag(const std::string& text) {
    Tag tag;
    std::size_t i = 0;
    auto blank = [&] {
        return i < text.size() && std::isspace(static_cast<unsigned char>(text[i]));
    };
    if (text.starts_with("/")) {
        tag.closing = true;
        i = 1;
    }
    if (text.ends_with("/")) tag.selfClosing = true;
    const std::size_t end = tag.selfClosing ? text.size() - 1 : text.size();
    while (i < end && !blank()) tag.name += text[i++];
    while (i < end) {
        while (blank()) ++i;
        if (i >= end) break;
        const std::size_t eq = text.find('=', i);
        if (eq == std::string::npos || eq + 1 >= end)
            throw std::runtime_error("bad attribute in <" + text + ">");
        std::string name = text.substr(i, eq - i);
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
            name.pop_back();
        i = eq + 1;
        while (blank()) ++i;
        const char quote = text[i];
        const std::size_t close = text.find(quote, i + 1);
        if ((quote != '"' && quote != '\'') || close == std::string::npos) {
            throw std::runtime_error("unquoted attribute in <" + text + ">");
        }
        tag.attributes[name] = unescape(text.substr(i + 1, close - i - 1));
        i = close + 1;
    }
    return tag;
}

// Splits a signature into its complete types: "usay" into "u", "s", "ay".
std::vector<std::string> completeTypes(const std::string& signature) {
    std::vector<std::string> types;
    std::size_t i = 0;
    while (i < signature.size()) {
        const std::size_t start = i;
        while (i < signature.size() && signature[i] == 'a') ++i;
        if (i < signature.size() && (signature[i] == '(' || signature[i] == '{')) {
            int depth = 0;
            do {
                if (signature[i] == '(' || signature[i] == '{') ++depth;
                if (signature[i] == ')' || signature[i] == '}') --depth;
                ++i;
            } while (i < signature.size() && depth > 0);
        } else {
            ++i;
        }
        types.push_back(signature.substr(start, i - start));
    }
    return types;
}

// The table's names: NUL-ended, the arguments' then the reply's.
std::vector<std::string> splitNames(const char* names, std::size_t count) {
    std::vector<std::string> split;
    for (const char* p = names; split.size() < count && *p; p += split.back().size() + 1) {
        split.emplace_back(p);
    }
    return split;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += (text.empty() ? "" : ",") + name;
    return "(" + text + ")";
}

}  // namespace

std::map<std::string, std::vector<IntrospectedMethod>> parseIntrospection(const std::string& xml) {
    std::map<std::string, std::vector<IntrospectedMethod>> interfaces;
    std::vector<std::string> open;  // the elements enclosing the current position
    std::vector<IntrospectedMethod>* interface = nullptr;
    for (std::size_t i = xml.find('<'); i != std::string::npos; i = xml.find('<', i)) {
        if (xml.compare(i, 4, "<!--") == 0) {
            const std::size_t end = xml.find("-->", i + 4);
            if (end == std::string::npos) throw std::runtime_error("unterminated comment");
            i = end + 3;
            continue;
        }
        const std::size_t end = xml.find('>', i);
        if (end == std::string::npos) throw std::runtime_error("unterminated tag");
        const std::string text = xml.substr(i + 1, end - i - 1);
        i = end + 1;
        if (text.starts_with("!") || text.starts_with("?")) continue;  // document type, prolog
        const Tag tag = readTag(text);
        if (tag.closing) {
            if (open.empty() || open.back() != tag.name) {
                throw std::runtime_error("</" + tag.name + "> closes nothing open");
            }
            open.pop_back();
            if (tag.name == "interface") interface = nullptr;
            continue;
        }
        const std::string parent = open.empty() ? "" : open.back();
        if (tag.name == "interface") {
            interface = &interfaces[tag.attributes.at("name")];
        } else if (tag.name == "method" && parent == "interface" && interface) {
            interface->emplace_back().name = tag.attributes.at("name");
        } else if (tag.name == "arg" && parent == "method") {
            IntrospectedMethod& method = interface->back();
            const auto direction = tag.attributes.find("direction");
            const bool out = direction != tag.attributes.end() && direction->second == "out";
            (out ? method.out : method.in) += tag.attributes.at("type");
            const auto name = tag.attributes.find("name");
            (out ? method.outNames : method.inNames)
                .push_back(name == tag.attributes.end() ? "" : name->second);
        } else if (tag.name == "annotation" && parent == "method") {
            interface->back().annotations[tag.attributes.at("name")] = tag.attributes.at("value");
        }
        if (!tag.selfClosing) open.push_back(tag.name);
    }
    if (!open.empty()) throw std::runtime_error("<" + open.back() + "> is never closed");
    return interfaces;
}

std::string introspectionDifferences(std::span<const BusMethod> table,
                                     const std::vector<IntrospectedMethod>& document,
                                     const std::string& authorization) {
    std::string differences;
    auto differ = [&](const std::string& line) { differences += line + "\n"; };
    if (table.size() != document.size()) {
        differ(std::to_string(table.size()) + " methods in the table, " +
               std::to_string(document.size()) + " described");
    }
    for (std::size_t i = 0; i < table.size() && i < document.size(); ++i) {
        const BusMethod& want = table[i];
        const IntrospectedMethod& have = document[i];
        const std::string where = "method " + std::to_string(i + 1) + " (" + want.name + "): ";
        if (have.name != want.name) differ(where + "described as " + have.name);
        if (have.in != want.in)
            differ(where + "takes \"" + have.in + "\", not \"" + want.in + "\"");
        if (have.out != want.out) {
            differ(where + "answers \"" + have.out + "\", not \"" + want.out + "\"");
        }
        const std::size_t inCount = completeTypes(want.in).size();
        const std::vector<std::string> names =
            splitNames(want.names, inCount + completeTypes(want.out).size());
        const auto split =
            names.begin() + static_cast<std::ptrdiff_t>(std::min(inCount, names.size()));
        const std::vector<std::string> inNames(names.begin(), split);
        const std::vector<std::string> outNames(split, names.end());
        if (have.inNames != inNames || have.outNames != outNames) {
            differ(where + "names its arguments " + joined(have.inNames) + joined(have.outNames) +
                   ", not " + joined(inNames) + joined(outNames));
        }
        if (!authorization.empty()) {
            const auto annotation = have.annotations.find(kAuthorizationAnnotation);
            const bool annotated =
                annotation != have.annotations.end() && annotation->second == authorization;
            if (annotated != want.privileged) {
                differ(where + (want.privileged ? "privileged but not annotated so"
                                                : "annotated as privileged but is not"));
            }
        }
    }
    return differences;
}

}  // namespace drivetherm::testing

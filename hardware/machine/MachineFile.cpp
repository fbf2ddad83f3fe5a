// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/machine/MachineFile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace drivetherm {
namespace {

using nlohmann::json;

// A character iterator that counts what the parser has consumed, so that each parser event
// knows where in the text it happened.
struct CountingIterator {
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    const char* at;
    std::size_t* consumed;

    reference operator*() const { return *at; }
    CountingIterator& operator++() {
        ++at;
        ++*consumed;
        return *this;
    }
    CountingIterator operator++(int) {
        CountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const CountingIterator& other) const { return at == other.at; }
    bool operator!=(const CountingIterator& other) const { return at != other.at; }
};

int lineAt(const std::string& text, std::size_t offset) {
    const std::size_t end = std::min(offset, text.size());
    return 1 + static_cast<int>(
                   std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
}

// Records the line of every member while the text is parsed: an object member at its key, an
// array element where it starts.
class LineRecorder final : public nlohmann::json_sax<json> {
public:
    LineRecorder(const std::string& text, const std::size_t& consumed)
        : text_(text), consumed_(consumed) {}

    std::map<std::string, int> lines;

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t&) override { return value(); }
    bool string(string_t&) override { return value(); }
    bool binary(binary_t&) override { return value(); }
    bool start_object(std::size_t) override { return open(false); }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(true); }
    bool end_array() override { return close(); }
    bool key(string_t& name) override {
        Frame& frame = frames_.back();
        frame.pending = frame.path.empty() ? name : frame.path + "." + name;
        lines.emplace(frame.pending, line());
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    struct Frame {
        std::string path;  // this container's member name
        bool array;
        std::size_t next = 0;
        std::string pending;  // the member whose value comes next (objects)
    };

    int line() const { return lineAt(text_, consumed_ > 0 ? consumed_ - 1 : 0); }

    // The member name of the value that starts now.
    std::string member() {
        if (frames_.empty()) return {};
        Frame& frame = frames_.back();
        if (!frame.array) return frame.pending;
        std::string name = frame.path + "[" + std::to_string(frame.next++) + "]";
        lines.emplace(name, line());
        return name;
    }
    bool value() {
        member();
        return true;
    }
    bool open(bool array) {
        std::string name = member();
        frames_.push_back(Frame{std::move(name), array, 0, {}});
        return true;
    }
    bool close() {
        frames_.pop_back();
        return true;
    }

    const std::string& text_;
    const std::size_t& consumed_;
    std::vector<Frame> frames_;
};

// The enclosing member: "smc.fans[1].min" → "smc.fans[1]" → "smc.fans" → "smc" → "".
std::string parentOf(const std::string& member) {
    const std::size_t cut = member.find_last_of(".[");
    return cut == std::string::npos ? std::string() : member.substr(0, cut);
}

}  // namespace

MachineFile MachineFile::load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error(path + ": cannot read the machine file");
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) throw std::runtime_error(path + ": cannot read the machine file");
    return parse(text.str(), path);
}

MachineFile MachineFile::parse(const std::string& text, const std::string& name) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& error) {
        // nlohmann's text starts with "[json.exception.parse_error.101] parse error at line 1,
        // column 8: "; the line leads our message, the rest is for the user.
        std::string what = error.what();
        if (const auto cut = what.find(": "); cut != std::string::npos) what.erase(0, cut + 2);
        const std::size_t at = error.byte > 0 ? error.byte - 1 : 0;
        throw std::runtime_error(name + ":" + std::to_string(lineAt(text, at)) +
                                 ": not valid JSON: " + what);
    } catch (const json::out_of_range& error) {
        // A number beyond a double ("1e400"): nlohmann names it ("number overflow parsing
        // '1e400'") but not where it is, so the line is that of its first appearance.
        std::string what = error.what();
        if (const auto cut = what.find("] "); cut != std::string::npos) what.erase(0, cut + 2);
        std::size_t at = 0;
        if (const auto open = what.find('\''), close = what.rfind('\'');
            open != std::string::npos && close > open + 1) {
            at = text.find(what.substr(open + 1, close - open - 1));
            if (at == std::string::npos) at = 0;
        }
        throw std::runtime_error(name + ":" + std::to_string(lineAt(text, at)) +
                                 ": not valid JSON: " + what);
    }
    if (!root.is_object()) throw std::runtime_error(name + ":1: expected a JSON object");

    std::size_t consumed = 0;
    LineRecorder recorder(text, consumed);
    const CountingIterator first{text.data(), &consumed};
    const CountingIterator last{text.data() + text.size(), &consumed};
    json::sax_parse(first, last, &recorder);
    return MachineFile(name, std::move(root), std::move(recorder.lines));
}

int MachineFile::lineOf(const std::string& member) const {
    for (std::string at = member; !at.empty(); at = parentOf(at)) {
        if (const auto found = lines_.find(at); found != lines_.end()) return found->second;
    }
    return 1;
}

void MachineFile::fail(const std::string& member, const std::string& what) const {
    // Member names and values come from the file: a control character among them (a "\n" in
    // a key) is shown as JSON writes it, so the message stays one line.
    std::string line;
    for (const char c : (member.empty() ? "" : member + ": ") + what) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            line += c;
        } else if (c == '\n') {
            line += "\\n";
        } else if (c == '\t') {
            line += "\\t";
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            line += escaped;
        }
    }
    throw std::runtime_error(name_ + ":" + std::to_string(lineOf(member)) + ": " + line);
}

}  // namespace drivetherm

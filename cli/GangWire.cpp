#include "cli/GangWire.h"

#include "cli/Text.h"

namespace cli {
namespace {

bool IsNameChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'; }

// Letters, digits and a few marks pass; every other byte is %XX.
bool Plain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_' || c == ':' || c == '/' || c == '\\';
}

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ValidName(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!IsNameChar(c)) return false;
    return true;
}

}  // namespace

const std::string& WireMessage::Field(const std::string& name) const {
    static const std::string kNone;
    const auto it = fields.find(name);
    return it == fields.end() ? kNone : it->second;
}

std::string EncodeWire(const WireMessage& message) {
    std::string line = message.verb;
    for (const auto& f : message.fields) {
        line += ' ' + f.first + '=';
        for (char c : f.second) {
            if (Plain(c)) line += c;
            else line += '%' + HexText(static_cast<unsigned char>(c), 2);
        }
    }
    return line;
}

bool DecodeWire(const std::string& line, WireMessage* message) {
    WireMessage m;
    std::size_t at = line.find(' ');
    m.verb = line.substr(0, at);
    if (!ValidName(m.verb)) return false;
    while (at != std::string::npos) {
        const std::size_t next = line.find(' ', at + 1);
        const std::string word = line.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        at = next;
        const std::size_t eq = word.find('=');
        if (eq == std::string::npos || !ValidName(word.substr(0, eq))) return false;
        std::string value;
        for (std::size_t i = eq + 1; i < word.size(); ++i) {
            if (word[i] != '%') {
                if (!Plain(word[i])) return false;
                value += word[i];
                continue;
            }
            if (i + 2 >= word.size()) return false;
            const int hi = Hex(word[i + 1]), lo = Hex(word[i + 2]);
            if (hi < 0 || lo < 0) return false;
            value += static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (!m.fields.emplace(word.substr(0, eq), value).second) return false;
    }
    *message = std::move(m);
    return true;
}

std::vector<WireMessage> TakeWireMessages(std::string* pending) {
    std::vector<WireMessage> messages;
    std::size_t start = 0, end;
    while ((end = pending->find('\n', start)) != std::string::npos) {
        WireMessage m;
        if (DecodeWire(pending->substr(start, end - start), &m)) messages.push_back(std::move(m));
        start = end + 1;
    }
    pending->erase(0, start);
    return messages;
}

}  // namespace cli

// JSON records as the tests read them: parsed by nlohmann-json, then held as
// plain values whose numbers keep their text, so that 64-bit serial numbers
// compare exactly and a CSV cell can be compared with the same field.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace jsonread {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    std::string text;  // number text or string content (UTF-8)
    std::vector<Value> items;
    std::map<std::string, Value> fields;

    bool Has(const std::string& key) const { return kind == Kind::Object && fields.count(key) != 0; }
    const Value& operator[](const std::string& key) const {
        static const Value null;
        auto it = fields.find(key);
        return it == fields.end() ? null : it->second;
    }
    double Number() const { return kind == Kind::Number ? std::stod(text) : 0; }
    std::uint64_t Unsigned() const { return kind == Kind::Number ? std::stoull(text) : 0; }
    bool IsNull() const { return kind == Kind::Null; }
};

// Parses one JSON text (leading and trailing blanks allowed). False with the
// parser's reason for anything that is not exactly one valid JSON value.
bool Parse(const std::string& text, Value* out, std::string* error);

}  // namespace jsonread

#include "JsonLite.h"

#include <cctype>

namespace jsonlite {

namespace {

class Reader {
public:
    Reader(const std::string& s, std::string* error) : s_(s), error_(error) {}

    bool Document(Value* v) {
        Blank();
        if (!Any(v, 0)) return false;
        Blank();
        if (i_ != s_.size()) return Fail("text after the value");
        return true;
    }

private:
    bool Fail(const char* why) {
        if (error_) *error_ = std::string(why) + " at " + std::to_string(i_);
        return false;
    }
    void Blank() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
    }
    bool Word(const char* w) {
        const std::string word(w);
        if (s_.compare(i_, word.size(), word) != 0) return Fail("bad literal");
        i_ += word.size();
        return true;
    }
    bool Any(Value* v, int depth) {
        if (depth > 64) return Fail("too deep");
        if (i_ >= s_.size()) return Fail("value expected");
        const char c = s_[i_];
        if (c == '{') return Object(v, depth);
        if (c == '[') return Array(v, depth);
        if (c == '"') {
            v->kind = Value::Kind::String;
            return String(&v->text);
        }
        if (c == 't' || c == 'f') {
            v->kind = Value::Kind::Bool;
            v->boolean = c == 't';
            return Word(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            v->kind = Value::Kind::Null;
            return Word("null");
        }
        return Number(v);
    }
    bool Number(Value* v) {
        const std::size_t start = i_;
        if (i_ < s_.size() && s_[i_] == '-') ++i_;
        if (i_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[i_]))) return Fail("number expected");
        if (s_[i_] == '0') {
            ++i_;
        } else {
            while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
        }
        if (i_ < s_.size() && s_[i_] == '.') {
            ++i_;
            if (i_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[i_]))) return Fail("digits after point");
            while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            ++i_;
            if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
            if (i_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[i_]))) return Fail("exponent digits");
            while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
        }
        v->kind = Value::Kind::Number;
        v->text = s_.substr(start, i_ - start);
        return true;
    }
    static void Put(std::string* out, unsigned cp) {
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            *out += static_cast<char>(0xC0 | (cp >> 6));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out += static_cast<char>(0xE0 | (cp >> 12));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (cp >> 18));
            *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    bool Hex4(unsigned* cp) {
        if (i_ + 4 > s_.size()) return Fail("short \\u escape");
        *cp = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[i_++];
            *cp <<= 4;
            if (c >= '0' && c <= '9') *cp |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') *cp |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') *cp |= static_cast<unsigned>(c - 'A' + 10);
            else return Fail("bad \\u escape");
        }
        return true;
    }
    bool String(std::string* out) {
        ++i_;  // opening quote
        out->clear();
        while (i_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"') return true;
            if (c < 0x20) return Fail("raw control character in a string");
            if (c != '\\') {
                *out += static_cast<char>(c);
                continue;
            }
            if (i_ >= s_.size()) break;
            const char e = s_[i_++];
            switch (e) {
            case '"': *out += '"'; break;
            case '\\': *out += '\\'; break;
            case '/': *out += '/'; break;
            case 'b': *out += '\b'; break;
            case 'f': *out += '\f'; break;
            case 'n': *out += '\n'; break;
            case 'r': *out += '\r'; break;
            case 't': *out += '\t'; break;
            case 'u': {
                unsigned cp = 0;
                if (!Hex4(&cp)) return false;
                if (cp >= 0xD800 && cp <= 0xDBFF && s_.compare(i_, 2, "\\u") == 0) {
                    i_ += 2;
                    unsigned low = 0;
                    if (!Hex4(&low)) return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                Put(out, cp);
                break;
            }
            default: return Fail("bad escape");
            }
        }
        return Fail("unterminated string");
    }
    bool Array(Value* v, int depth) {
        v->kind = Value::Kind::Array;
        ++i_;
        Blank();
        if (i_ < s_.size() && s_[i_] == ']') {
            ++i_;
            return true;
        }
        for (;;) {
            Value item;
            Blank();
            if (!Any(&item, depth + 1)) return false;
            v->items.push_back(std::move(item));
            Blank();
            if (i_ < s_.size() && s_[i_] == ',') {
                ++i_;
                continue;
            }
            if (i_ < s_.size() && s_[i_] == ']') {
                ++i_;
                return true;
            }
            return Fail("',' or ']' expected");
        }
    }
    bool Object(Value* v, int depth) {
        v->kind = Value::Kind::Object;
        ++i_;
        Blank();
        if (i_ < s_.size() && s_[i_] == '}') {
            ++i_;
            return true;
        }
        for (;;) {
            Blank();
            if (i_ >= s_.size() || s_[i_] != '"') return Fail("key expected");
            std::string key;
            if (!String(&key)) return false;
            if (v->fields.count(key)) return Fail("key given twice");
            Blank();
            if (i_ >= s_.size() || s_[i_] != ':') return Fail("':' expected");
            ++i_;
            Blank();
            Value item;
            if (!Any(&item, depth + 1)) return false;
            v->fields.emplace(key, std::move(item));
            Blank();
            if (i_ < s_.size() && s_[i_] == ',') {
                ++i_;
                continue;
            }
            if (i_ < s_.size() && s_[i_] == '}') {
                ++i_;
                return true;
            }
            return Fail("',' or '}' expected");
        }
    }

    const std::string& s_;
    std::string* error_;
    std::size_t i_ = 0;
};

}  // namespace

bool Parse(const std::string& text, Value* out, std::string* error) {
    *out = Value{};
    Reader r(text, error);
    return r.Document(out);
}

}  // namespace jsonlite

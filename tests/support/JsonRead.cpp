#include "tests/support/JsonRead.h"

#include <nlohmann/json.hpp>

namespace jsonread {
namespace {

Value From(const nlohmann::json& j) {
    Value v;
    switch (j.type()) {
    case nlohmann::json::value_t::null:
    case nlohmann::json::value_t::discarded: break;
    case nlohmann::json::value_t::boolean:
        v.kind = Value::Kind::Bool;
        v.boolean = j.get<bool>();
        break;
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
        v.kind = Value::Kind::Number;
        v.text = j.dump();
        break;
    case nlohmann::json::value_t::string:
        v.kind = Value::Kind::String;
        v.text = j.get<std::string>();
        break;
    case nlohmann::json::value_t::array:
        v.kind = Value::Kind::Array;
        for (const nlohmann::json& item : j) v.items.push_back(From(item));
        break;
    case nlohmann::json::value_t::object:
        v.kind = Value::Kind::Object;
        for (auto it = j.begin(); it != j.end(); ++it) v.fields[it.key()] = From(it.value());
        break;
    case nlohmann::json::value_t::binary: break;
    }
    return v;
}

}  // namespace

bool Parse(const std::string& text, Value* out, std::string* error) {
    try {
        *out = From(nlohmann::json::parse(text));
        return true;
    } catch (const nlohmann::json::exception& e) {
        if (error) *error = e.what();
        return false;
    }
}

}  // namespace jsonread

#include "project/Project.h"

#include <nlohmann/json.hpp>

#include <initializer_list>

#include "project/ProjectPaths.h"
#include "text/Numbers.h"
#include "text/Utf8.h"

namespace project {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr const char* kFormatName = "tarvel-project";
constexpr std::size_t kMaxText = 4096;   // a name, a path, a rate
constexpr std::size_t kMaxNote = 65536;  // the free text
constexpr std::size_t kMaxFiles = 64;    // per buffer
constexpr std::size_t kMaxPorts = 16;
constexpr std::size_t kMaxChecksums = 64;
constexpr std::uint32_t kMaxIterations = 10000000;

std::string HexByte(std::uint8_t b) {
    static const char* const kDigits = "0123456789ABCDEF";
    return {kDigits[b >> 4], kDigits[b & 15]};
}

std::string Hex32(std::uint32_t v) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += HexByte(static_cast<std::uint8_t>(v >> shift));
    return s;
}

std::string AddressText(std::uint32_t v) {
    std::string digits = Hex32(v);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    return "0x" + digits;
}

std::string BytesText(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    for (std::uint8_t b : bytes) s += HexByte(b);
    return s;
}

// Reads the fields of a parsed document; the first problem wins.
class Reader {
public:
    const std::string& Error() const { return error_; }

    bool Fail(const std::string& field, const std::string& why) {
        if (error_.empty()) error_ = field + ": " + why;
        return false;
    }

    // An object holding only the keys named.
    bool Object(const Json& j, const std::string& field, std::initializer_list<const char*> keys) {
        if (!j.is_object()) return Fail(field.empty() ? "the document" : field, "expected an object { ... }");
        for (const auto& item : j.items()) {
            bool known = false;
            for (const char* k : keys) known = known || item.key() == k;
            if (!known) return Fail(Join(field, item.key()), "unknown field");
        }
        return true;
    }

    static std::string Join(const std::string& field, const std::string& key) {
        return field.empty() ? key : field + "." + key;
    }

    const Json* Member(const Json& obj, const std::string& field, const char* key, bool required) {
        const auto it = obj.find(key);
        if (it == obj.end()) {
            if (required) Fail(Join(field, key), "missing");
            return nullptr;
        }
        return &*it;
    }

    bool Text(const Json& obj, const std::string& field, const char* key, bool required, std::size_t maxLength,
              std::wstring* out) {
        const Json* j = Member(obj, field, key, required);
        if (j == nullptr) return error_.empty();
        if (!j->is_string()) return Fail(Join(field, key), "expected a text in quotes");
        const std::string& s = j->get_ref<const std::string&>();
        if (s.size() > maxLength) return Fail(Join(field, key), "longer than " + std::to_string(maxLength) + " bytes");
        if (s.find('\0') != std::string::npos) return Fail(Join(field, key), "holds a NUL character");
        *out = text::Widen(s);
        return true;
    }

    bool Bool(const Json& obj, const std::string& field, const char* key, bool* out) {
        const Json* j = Member(obj, field, key, false);
        if (j == nullptr) return error_.empty();
        if (!j->is_boolean()) return Fail(Join(field, key), "expected true or false");
        *out = j->get<bool>();
        return true;
    }

    bool Count(const Json& obj, const std::string& field, const char* key, bool required, std::uint64_t min,
               std::uint64_t max, std::uint64_t* out) {
        const Json* j = Member(obj, field, key, required);
        if (j == nullptr) return error_.empty();
        if (!j->is_number_unsigned() && !(j->is_number_integer() && j->get<std::int64_t>() >= 0))
            return Fail(Join(field, key),
                        "expected a whole number from " + std::to_string(min) + " to " + std::to_string(max));
        const std::uint64_t v = j->get<std::uint64_t>();
        if (v < min || v > max)
            return Fail(Join(field, key), "out of range: " + std::to_string(v) + ", expected " + std::to_string(min) +
                                              " to " + std::to_string(max));
        *out = v;
        return true;
    }

    // A hexadecimal text with 0x, as "0x7FF0".
    bool Address(const Json& obj, const std::string& field, const char* key, bool required, std::uint32_t* out) {
        const Json* j = Member(obj, field, key, required);
        if (j == nullptr) return error_.empty();
        const std::string what = "expected a hexadecimal address such as \"0x4000\"";
        if (!j->is_string()) return Fail(Join(field, key), what);
        const std::string& s = j->get_ref<const std::string&>();
        std::uint64_t v = 0;
        if (!numbers::HasHexPrefix(s) || s.size() > 10 ||
            !numbers::ParseUnsigned(std::string_view(s).substr(2), 16, 0xFFFFFFFFu, v))
            return Fail(Join(field, key), what);
        *out = static_cast<std::uint32_t>(v);
        return true;
    }

    // Eight hexadecimal digits, as "1A2B3C4D".
    bool Crc(const Json& obj, const std::string& field, const char* key, std::uint32_t* out) {
        std::vector<std::uint8_t> bytes;
        if (!Bytes(obj, field, key, 4, 4, &bytes)) return false;
        *out = static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
               static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
        return true;
    }

    // Hexadecimal digit pairs, min to max bytes.
    bool Bytes(const Json& obj, const std::string& field, const char* key, std::size_t min, std::size_t max,
               std::vector<std::uint8_t>* out) {
        const Json* j = Member(obj, field, key, true);
        if (j == nullptr) return false;
        const std::string what =
            "expected " +
            (min == max ? std::to_string(2 * min) : std::to_string(2 * min) + " to " + std::to_string(2 * max)) +
            " hexadecimal digits";
        if (!j->is_string()) return Fail(Join(field, key), what);
        const std::string& s = j->get_ref<const std::string&>();
        if (s.size() % 2 != 0 || s.size() < 2 * min || s.size() > 2 * max) return Fail(Join(field, key), what);
        out->clear();
        for (std::size_t i = 0; i < s.size(); i += 2) {
            if (!numbers::IsDigit(s[i], 16) || !numbers::IsDigit(s[i + 1], 16)) return Fail(Join(field, key), what);
            out->push_back(static_cast<std::uint8_t>(numbers::DigitValue(s[i]) * 16 + numbers::DigitValue(s[i + 1])));
        }
        return true;
    }

    // A stored path of a file the tool writes.
    bool WritePath(const Json& obj, const std::string& field, const char* key, std::wstring* out) {
        if (!Text(obj, field, key, false, kMaxText, out)) return false;
        if (out->empty()) return true;
        const std::string why = WritePathProblem(*out);
        if (!why.empty())
            return Fail(Join(field, key),
                        "a file the tool writes must lie in the project's folder or below it (" + why + ")");
        return true;
    }

    bool Files(const Json& obj, const char* key, std::vector<ProjectFile>* out) {
        const Json* list = Member(obj, "", key, false);
        if (list == nullptr) return error_.empty();
        if (!list->is_array()) return Fail(key, "expected a list [ ... ]");
        if (list->size() > kMaxFiles) return Fail(key, "more than " + std::to_string(kMaxFiles) + " files");
        for (std::size_t i = 0; i < list->size(); ++i) {
            const std::string field = std::string(key) + "[" + std::to_string(i) + "]";
            const Json& j = (*list)[i];
            if (!Object(j, field, {"file", "address", "clear", "size", "crc32"})) return false;
            ProjectFile f;
            std::uint64_t size = 0;
            if (!Text(j, field, "file", true, kMaxText, &f.path) || !Address(j, field, "address", false, &f.address) ||
                !Bool(j, field, "clear", &f.clearFirst) || !Count(j, field, "size", true, 0, UINT64_MAX, &size) ||
                !Crc(j, field, "crc32", &f.crc32))
                return false;
            if (f.path.empty()) return Fail(field + ".file", "empty");
            f.size = size;
            out->push_back(f);
        }
        return true;
    }

    bool Image(const Json& obj, const char* key, ImageCheck* out) {
        const std::string field = std::string("images.") + key;
        const Json* j = Member(obj, "images", key, true);
        if (j == nullptr) return false;
        if (!Object(*j, field, {"size", "crc32"})) return false;
        return Count(*j, field, "size", true, 0, UINT64_MAX, &out->size) && Crc(*j, field, "crc32", &out->crc32);
    }

private:
    std::string error_;
};

}  // namespace

ReadResult ReadProject(std::string_view text) {
    ReadResult result;
    if (text.size() > kMaxProjectBytes) {
        result.error = "the file is larger than a project file can be (" + std::to_string(kMaxProjectBytes) + " bytes)";
        return result;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    Json doc;
    try {
        doc = Json::parse(text.begin(), text.end());
    } catch (const Json::parse_error& e) {
        result.error = "not a JSON text (at byte " + std::to_string(e.byte) + ")";
        return result;
    }
    Reader r;
    Project& p = result.project;
    const auto done = [&]() -> ReadResult& {
        result.ok = r.Error().empty();
        result.error = r.Error();
        if (!result.ok) result.project = Project{};
        return result;
    };
    if (!r.Object(
            doc, "",
            {"format", "version", "name", "note", "part", "baud", "checkrate", "option_bits", "erase_by_file_size",
             "rstn_cold_reset", "flash", "eeprom", "images", "serial", "checksums", "ports", "log", "lock"}))
        return done();
    std::wstring format;
    std::uint64_t version = 0;
    if (!r.Text(doc, "", "format", true, kMaxText, &format)) return done();
    if (format != text::Widen(kFormatName)) {
        r.Fail("format", std::string("expected \"") + kFormatName + "\"");
        return done();
    }
    if (!r.Count(doc, "", "version", true, 1, UINT64_MAX, &version)) return done();
    if (version != kFormatVersion) {
        r.Fail("version", "format version " + std::to_string(version) + " is not known to this tool (it reads " +
                              std::to_string(kFormatVersion) + ")");
        return done();
    }
    std::uint64_t bits = 0;
    if (!r.Text(doc, "", "name", false, kMaxText, &p.name) || !r.Text(doc, "", "note", false, kMaxNote, &p.note) ||
        !r.Text(doc, "", "part", true, kMaxText, &p.part) || !r.Text(doc, "", "baud", true, kMaxText, &p.baud) ||
        !r.Text(doc, "", "checkrate", true, kMaxText, &p.checkRate) ||
        !r.Count(doc, "", "option_bits", false, 0, 255, &bits) ||
        !r.Bool(doc, "", "erase_by_file_size", &p.eraseBySize) || !r.Bool(doc, "", "rstn_cold_reset", &p.rstnColdReset))
        return done();
    p.optionBits = static_cast<std::uint8_t>(bits);
    if (p.part.empty()) {
        r.Fail("part", "empty");
        return done();
    }
    if (!r.Files(doc, "flash", &p.flash) || !r.Files(doc, "eeprom", &p.eeprom)) return done();
    if (p.flash.empty()) {
        r.Fail("flash", "no Flash file: a project programs a Flash image");
        return done();
    }
    const Json* images = r.Member(doc, "", "images", true);
    if (images == nullptr || !r.Object(*images, "images", {"flash", "eeprom"}) ||
        !r.Image(*images, "flash", &p.flashImage))
        return done();
    if (!p.eeprom.empty() && !r.Image(*images, "eeprom", &p.eepromImage)) return done();

    if (const Json* serial = r.Member(doc, "", "serial", false); serial != nullptr && !serial->is_null()) {
        SerialSettings& s = p.serial;
        s.enabled = true;
        std::uint64_t width = 4;
        std::wstring order = L"little";
        if (!r.Object(*serial, "serial",
                      {"address", "width", "byte_order", "start", "step", "list", "state", "database", "series"}) ||
            !r.Address(*serial, "serial", "address", true, &s.address) ||
            !r.Count(*serial, "serial", "width", false, 1, 8, &width) ||
            !r.Text(*serial, "serial", "byte_order", false, kMaxText, &order) ||
            !r.Count(*serial, "serial", "start", false, 0, UINT64_MAX, &s.start) ||
            !r.Count(*serial, "serial", "step", false, 1, UINT64_MAX, &s.step) ||
            !r.Text(*serial, "serial", "list", false, kMaxText, &s.listFile) ||
            !r.WritePath(*serial, "serial", "state", &s.stateFile) ||
            !r.Text(*serial, "serial", "database", false, kMaxText, &s.database) ||
            !r.Text(*serial, "serial", "series", false, kMaxText, &s.series))
            return done();
        if (HoldsPassword(s.database)) {
            r.Fail("serial.database", "holds a password; a project names its connection without one");
            return done();
        }
        s.width = static_cast<unsigned>(width);
        if (order != L"little" && order != L"big") {
            r.Fail("serial.byte_order", "expected \"little\" or \"big\"");
            return done();
        }
        s.bigEndian = order == L"big";
    }

    if (const Json* steps = r.Member(doc, "", "checksums", false); steps != nullptr) {
        if (!steps->is_array()) {
            r.Fail("checksums", "expected a list [ ... ] of steps such as \"crc32:0-7FFB@7FFC\"");
            return done();
        }
        if (steps->size() > kMaxChecksums) {
            r.Fail("checksums", "more than " + std::to_string(kMaxChecksums) + " steps");
            return done();
        }
        for (std::size_t i = 0; i < steps->size(); ++i) {
            const std::string field = "checksums[" + std::to_string(i) + "]";
            const Json& j = (*steps)[i];
            image::ChecksumStep step;
            std::string why;
            if (!j.is_string()) {
                r.Fail(field, "expected a step in quotes such as \"crc32:0-7FFB@7FFC\"");
                return done();
            }
            if (!image::ParseChecksumStep(j.get_ref<const std::string&>(), &step, &why) ||
                !(why = image::ChecksumStepProblem(step, 0xFFFFFFFFu)).empty()) {
                r.Fail(field, why);
                return done();
            }
            p.checksums.push_back(step);
        }
    }

    if (const Json* ports = r.Member(doc, "", "ports", false); ports != nullptr) {
        if (!ports->is_array()) {
            r.Fail("ports", "expected a list [ ... ]");
            return done();
        }
        if (ports->size() > kMaxPorts) {
            r.Fail("ports", "more than " + std::to_string(kMaxPorts) + " ports");
            return done();
        }
        for (std::size_t i = 0; i < ports->size(); ++i) {
            const std::string field = "ports[" + std::to_string(i) + "]";
            const Json& j = (*ports)[i];
            const bool com = j.is_string() && j.get_ref<const std::string&>().size() <= 6 &&
                             j.get_ref<const std::string&>().rfind("COM", 0) == 0;
            std::uint64_t n = 0;
            if (!com ||
                !numbers::ParseUnsigned(std::string_view(j.get_ref<const std::string&>()).substr(3), 10, 255, n) ||
                n == 0 || j.get_ref<const std::string&>()[3] == '0') {
                r.Fail(field, "expected a COM port, \"COM1\" to \"COM255\"");
                return done();
            }
            const std::wstring port = text::Widen(j.get_ref<const std::string&>());
            for (const std::wstring& earlier : p.ports)
                if (earlier == port) {
                    r.Fail(field, "the port is named twice");
                    return done();
                }
            p.ports.push_back(port);
        }
    }
    if (!r.WritePath(doc, "", "log", &p.log)) return done();

    if (const Json* lock = r.Member(doc, "", "lock", false); lock != nullptr && !lock->is_null()) {
        std::wstring method;
        std::uint64_t iterations = 0;
        if (!r.Object(*lock, "lock", {"method", "iterations", "salt", "hash"}) ||
            !r.Text(*lock, "lock", "method", true, kMaxText, &method))
            return done();
        if (method != L"pbkdf2-sha256") {
            r.Fail("lock.method", "expected \"pbkdf2-sha256\"");
            return done();
        }
        if (!r.Count(*lock, "lock", "iterations", true, 1000, kMaxIterations, &iterations) ||
            !r.Bytes(*lock, "lock", "salt", 16, 64, &p.lock.salt) ||
            !r.Bytes(*lock, "lock", "hash", 32, 32, &p.lock.hash))
            return done();
        p.lock.locked = true;
        p.lock.iterations = static_cast<std::uint32_t>(iterations);
    }
    return done();
}

std::string WriteProject(const Project& p) {
    OrderedJson doc;
    doc["format"] = kFormatName;
    doc["version"] = kFormatVersion;
    doc["name"] = text::Utf8(p.name);
    doc["note"] = text::Utf8(p.note);
    doc["part"] = text::Utf8(p.part);
    doc["baud"] = text::Utf8(p.baud);
    doc["checkrate"] = text::Utf8(p.checkRate);
    doc["option_bits"] = p.optionBits;
    doc["erase_by_file_size"] = p.eraseBySize;
    doc["rstn_cold_reset"] = p.rstnColdReset;
    for (const auto& [key, files] : {std::pair{"flash", &p.flash}, std::pair{"eeprom", &p.eeprom}}) {
        OrderedJson list = OrderedJson::array();
        for (const ProjectFile& f : *files) {
            OrderedJson j;
            j["file"] = text::Utf8(f.path);
            j["address"] = AddressText(f.address);
            j["clear"] = f.clearFirst;
            j["size"] = f.size;
            j["crc32"] = Hex32(f.crc32);
            list.push_back(j);
        }
        doc[key] = list;
    }
    OrderedJson images;
    images["flash"] = {{"size", p.flashImage.size}, {"crc32", Hex32(p.flashImage.crc32)}};
    if (!p.eeprom.empty()) images["eeprom"] = {{"size", p.eepromImage.size}, {"crc32", Hex32(p.eepromImage.crc32)}};
    doc["images"] = images;
    if (p.serial.enabled) {
        OrderedJson s;
        s["address"] = AddressText(p.serial.address);
        s["width"] = p.serial.width;
        s["byte_order"] = p.serial.bigEndian ? "big" : "little";
        s["start"] = p.serial.start;
        s["step"] = p.serial.step;
        s["list"] = text::Utf8(p.serial.listFile);
        s["state"] = text::Utf8(p.serial.stateFile);
        if (!p.serial.database.empty()) {
            s["database"] = text::Utf8(p.serial.database);
            s["series"] = text::Utf8(p.serial.series);
        }
        doc["serial"] = s;
    } else {
        doc["serial"] = nullptr;
    }
    // Only a project with steps has the field, so that an older project's
    // text stays as it was.
    if (!p.checksums.empty()) {
        OrderedJson steps = OrderedJson::array();
        for (const image::ChecksumStep& step : p.checksums) steps.push_back(image::ChecksumStepText(step));
        doc["checksums"] = steps;
    }
    OrderedJson ports = OrderedJson::array();
    for (const std::wstring& port : p.ports) ports.push_back(text::Utf8(port));
    doc["ports"] = ports;
    doc["log"] = text::Utf8(p.log);
    if (p.lock.locked) {
        OrderedJson lock;
        lock["method"] = "pbkdf2-sha256";
        lock["iterations"] = p.lock.iterations;
        lock["salt"] = BytesText(p.lock.salt);
        lock["hash"] = BytesText(p.lock.hash);
        doc["lock"] = lock;
    } else {
        doc["lock"] = nullptr;
    }
    return doc.dump(2, ' ', false, OrderedJson::error_handler_t::replace) + "\n";
}

bool HoldsPassword(const std::wstring& connection) {
    // Every attribute's name, before its '=', without blanks or case.
    std::wstring name;
    bool inName = true;
    int braces = 0;
    for (wchar_t c : connection) {
        if (inName) {
            if (c == L'=') {
                if (name == L"pwd" || name == L"password") return true;
                inName = false;
            } else if (c != L' ' && c != L'\t') {
                name += static_cast<wchar_t>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
            }
        } else if (c == L'{') {
            ++braces;
        } else if (c == L'}' && braces > 0) {
            --braces;
        } else if (c == L';' && braces == 0) {
            inName = true;
            name.clear();
        }
    }
    return false;
}

bool LooksLikeProject(std::string_view head) {
    if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
    const std::size_t first = head.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || head[first] != '{') return false;
    return head.find(std::string("\"") + kFormatName + "\"") != std::string_view::npos;
}

}  // namespace project

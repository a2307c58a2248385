#include "db/Odbc.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <memory>

namespace db {
namespace {

using WText = std::basic_string<SQLWCHAR>;

// UTF-8 to UTF-16; a byte that is not UTF-8 becomes U+FFFD.
WText ToWide(const std::string& s) {
    WText out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t n = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 6 || (c >> 4) == 14 || (c >> 3) == 30) {
            n = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
            cp = c & (0x7F >> n);
            bool ok = i + n <= s.size();
            for (std::size_t k = 1; ok && k < n; ++k) {
                const unsigned char d = static_cast<unsigned char>(s[i + k]);
                ok = (d >> 6) == 2;
                cp = (cp << 6) | (d & 0x3F);
            }
            if (!ok || cp > 0x10FFFF) {
                cp = 0xFFFD;
                n = 1;
            }
        }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<SQLWCHAR>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<SQLWCHAR>(cp));
        }
    }
    return out;
}

void AppendUtf8(std::string* out, std::uint32_t cp) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string ToUtf8(const SQLWCHAR* s, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(&out, cp);
    }
    return out;
}

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Errors that say something about the statement or the data, not about the
// connection: the connection stays usable after them.
bool StatementClass(const std::string& state) {
    static const char* const kClasses[] = {"21", "22", "23", "40", "42", "44", "HY"};
    for (const char* c : kClasses)
        if (state.compare(0, 2, c) == 0) return true;
    return false;
}

struct StatementHandle {
    SQLHSTMT h = SQL_NULL_HSTMT;
    ~StatementHandle() {
        if (h != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
};

}  // namespace

std::string Error::Text() const { return sqlState.empty() ? message : "[" + sqlState + "] " + message; }

std::string HidePassword(const std::string& connectionString) {
    std::string out;
    std::size_t i = 0;
    const std::string& s = connectionString;
    while (i < s.size()) {
        // One attribute: key=value, the value braced or up to the next ';'.
        const std::size_t eq = s.find('=', i);
        if (eq == std::string::npos) {
            out += s.substr(i);
            break;
        }
        std::string key = s.substr(i, eq - i);
        std::string bare;
        for (char c : key)
            if (!std::isspace(static_cast<unsigned char>(c))) bare += static_cast<char>(std::tolower(c));
        std::size_t end = eq + 1;
        while (end < s.size() && std::isspace(static_cast<unsigned char>(s[end]))) ++end;
        if (end < s.size() && s[end] == '{') {
            // "}}" inside braces is a literal brace.
            ++end;
            while (end < s.size()) {
                if (s[end] == '}') {
                    if (end + 1 < s.size() && s[end + 1] == '}') {
                        end += 2;
                        continue;
                    }
                    ++end;
                    break;
                }
                ++end;
            }
        }
        end = s.find(';', end);
        if (end == std::string::npos) end = s.size();
        const bool secret = bare == "pwd" || bare == "password";
        out += secret ? key + "=***" : s.substr(i, end - i);
        if (end < s.size()) out += ';';
        i = end + 1;
    }
    return out;
}

std::string WithPassword(const std::string& connectionString, const std::string& password) {
    std::string s = connectionString;
    if (!s.empty() && s.back() != ';') s += ';';
    if (password.find_first_of(";{}= ") == std::string::npos) return s + "Pwd=" + password + ";";
    std::string braced = "{";
    for (char c : password) braced += c == '}' ? std::string("}}") : std::string(1, c);
    return s + "Pwd=" + braced + "};";
}

Connection::~Connection() { Close(); }

static Error Diagnose(short handleType, void* handle) {
    Error e;
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR text[1024];
    SQLSMALLINT length = 0;
    for (SQLSMALLINT rec = 1; handle != nullptr; ++rec) {
        const SQLRETURN rc = SQLGetDiagRecW(handleType, handle, rec, state, &native, text,
                                            static_cast<SQLSMALLINT>(sizeof text / sizeof text[0]), &length);
        if (!Ok(rc)) break;
        if (rec == 1) e.sqlState = ToUtf8(state, 5);
        if (!e.message.empty()) e.message += "; ";
        const std::size_t n = static_cast<std::size_t>(length) < sizeof text / sizeof text[0]
                                  ? static_cast<std::size_t>(length)
                                  : sizeof text / sizeof text[0] - 1;
        e.message += ToUtf8(text, n);
    }
    if (e.message.empty()) e.message = "the ODBC driver gave no reason";
    // A driver may quote the connection string in its message.
    e.message = HidePassword(e.message);
    e.connectionLost = !StatementClass(e.sqlState);
    return e;
}

bool Connection::Fail(short handleType, void* handle, Error* error) {
    const Error e = Diagnose(handleType, handle);
    if (e.connectionLost) Close();
    if (error != nullptr) *error = e;
    return false;
}

bool Connection::Open(const std::string& connectionString, Error* error) {
    if (dbc_ != nullptr) return true;
    SQLHENV env = SQL_NULL_HENV;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        *error = Error{"", "no ODBC environment (is the ODBC driver manager installed?)", true};
        return false;
    }
    env_ = env;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        *error = Diagnose(SQL_HANDLE_ENV, env_);
        error->connectionLost = true;
        Close();
        return false;
    }
    SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(5)), 0);
    WText text = ToWide(connectionString);
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc =
        SQLDriverConnectW(dbc, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()), out,
                          static_cast<SQLSMALLINT>(sizeof out / sizeof out[0]), &outLength, SQL_DRIVER_NOPROMPT);
    // The password leaves this memory as soon as it is no longer needed.
    for (SQLWCHAR& c : text) c = 0;
    for (SQLWCHAR& c : out) c = 0;
    if (!Ok(rc)) {
        *error = Diagnose(SQL_HANDLE_DBC, dbc);
        error->connectionLost = true;
        // Not connected: the handle is freed without a disconnect.
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        Close();
        return false;
    }
    dbc_ = dbc;
    if (!Ok(SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
        return Fail(SQL_HANDLE_DBC, dbc, error);
    return true;
}

void Connection::Close() {
    if (dbc_ != nullptr) {
        SQLHDBC dbc = dbc_;
        dbc_ = nullptr;
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env_ != nullptr) {
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
        env_ = nullptr;
    }
}

bool Connection::Execute(const std::string& sql, const std::vector<Param>& params, std::vector<Row>* rows, Error* error,
                         std::int64_t* affected) {
    if (rows != nullptr) rows->clear();
    if (dbc_ == nullptr) {
        *error = Error{"08003", "not connected", true};
        return false;
    }
    StatementHandle st;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st.h))) return Fail(SQL_HANDLE_DBC, dbc_, error);
    SQLSetStmtAttrW(st.h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(15)), 0);

    // The bound buffers live until the statement has run.
    std::vector<WText> texts(params.size());
    std::vector<std::int64_t> integers(params.size());
    std::vector<SQLLEN> indicators(params.size());
    for (std::size_t i = 0; i < params.size(); ++i) {
        const Param& p = params[i];
        const SQLUSMALLINT number = static_cast<SQLUSMALLINT>(i + 1);
        SQLRETURN rc;
        if (p.kind == Param::Kind::Integer) {
            integers[i] = p.integer;
            indicators[i] = 0;
            rc = SQLBindParameter(st.h, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &integers[i], 0,
                                  &indicators[i]);
        } else {
            texts[i] = ToWide(p.text);
            texts[i].push_back(0);
            const SQLULEN chars = texts[i].size() - 1;
            indicators[i] = p.kind == Param::Kind::Null ? SQL_NULL_DATA : static_cast<SQLLEN>(chars * sizeof(SQLWCHAR));
            rc = SQLBindParameter(st.h, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, chars ? chars : 1, 0,
                                  texts[i].data(), static_cast<SQLLEN>(texts[i].size() * sizeof(SQLWCHAR)),
                                  &indicators[i]);
        }
        if (!Ok(rc)) return Fail(SQL_HANDLE_STMT, st.h, error);
    }
    WText text = ToWide(sql);
    const SQLRETURN rc = SQLExecDirectW(st.h, text.data(), static_cast<SQLINTEGER>(text.size()));
    if (rc == SQL_NO_DATA) {
        if (affected != nullptr) *affected = 0;
        return true;
    }
    if (!Ok(rc)) return Fail(SQL_HANDLE_STMT, st.h, error);
    if (affected != nullptr) {
        SQLLEN count = 0;
        SQLRowCount(st.h, &count);
        *affected = count;
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(st.h, &columns);
    if (columns == 0) return true;
    for (;;) {
        const SQLRETURN f = SQLFetch(st.h);
        if (f == SQL_NO_DATA) break;
        if (!Ok(f)) return Fail(SQL_HANDLE_STMT, st.h, error);
        Row row(static_cast<std::size_t>(columns));
        for (SQLSMALLINT c = 1; c <= columns; ++c) {
            Cell& cell = row[static_cast<std::size_t>(c - 1)];
            WText value;
            SQLWCHAR chunk[256];
            for (;;) {
                SQLLEN got = 0;
                const SQLRETURN g =
                    SQLGetData(st.h, static_cast<SQLUSMALLINT>(c), SQL_C_WCHAR, chunk, sizeof chunk, &got);
                if (g == SQL_NO_DATA) break;
                if (!Ok(g)) return Fail(SQL_HANDLE_STMT, st.h, error);
                if (got == SQL_NULL_DATA) break;
                cell.isNull = false;
                const std::size_t room = sizeof chunk / sizeof chunk[0] - 1;
                const std::size_t n = got == SQL_NO_TOTAL || static_cast<std::size_t>(got) / sizeof(SQLWCHAR) > room
                                          ? room
                                          : static_cast<std::size_t>(got) / sizeof(SQLWCHAR);
                value.append(chunk, n);
                if (g == SQL_SUCCESS) break;
            }
            cell.text = ToUtf8(value.data(), value.size());
        }
        if (rows != nullptr) rows->push_back(std::move(row));
    }
    return true;
}

bool Connection::Commit(Error* error) {
    if (dbc_ == nullptr) {
        *error = Error{"08003", "not connected", true};
        return false;
    }
    if (!Ok(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT))) return Fail(SQL_HANDLE_DBC, dbc_, error);
    return true;
}

void Connection::Rollback() {
    if (dbc_ != nullptr && !Ok(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK))) Close();
}

}  // namespace db

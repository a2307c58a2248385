// A connection to the shared database through ODBC: the factory's database,
// whatever it is, reached the Windows way, and unixODBC on Linux. Every
// operation is one short transaction: statements with bound parameters (no
// value ever goes into the text of a statement), then Commit or Rollback.
// Texts are UTF-8 on this side and UTF-16 at the driver.
//
// This header names no ODBC type: only Odbc.cpp includes sql.h, which pulls
// in windows.h on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace db {

// What went wrong, as the driver said it: its five-character SQLSTATE
// ("23505" a unique constraint, "08..." the connection) and its message.
struct Error {
    std::string sqlState;
    std::string message;
    // The connection is gone (or never came up): the next operation
    // connects again.
    bool connectionLost = false;
    std::string Text() const;  // "[08001] could not connect ..."
};

// A statement's parameter: text, a whole number or NULL.
struct Param {
    enum class Kind { Text, Integer, Null } kind = Kind::Null;
    std::string text;
    std::int64_t integer = 0;
    static Param Str(std::string s) { return Param{Kind::Text, std::move(s), 0}; }
    static Param Int(std::int64_t n) { return Param{Kind::Integer, std::string(), n}; }
    static Param None() { return Param{}; }
};

struct Cell {
    bool isNull = true;
    std::string text;
};
using Row = std::vector<Cell>;

class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects (when not connected) with the connection string, autocommit
    // off. The string may hold a password; it is never part of an error.
    bool Open(const std::string& connectionString, Error* error);
    void Close();
    bool IsOpen() const { return dbc_ != nullptr; }

    // Runs one statement with its parameters ('?' in the text); rows, when
    // given, receives what it returns (every column as text), affected the
    // rows an INSERT, UPDATE or DELETE changed. On a lost connection the
    // connection is closed.
    bool Execute(const std::string& sql, const std::vector<Param>& params, std::vector<Row>* rows, Error* error,
                 std::int64_t* affected = nullptr);
    bool Commit(Error* error);
    // Undoes the open transaction; quietly, since it follows an error.
    void Rollback();

private:
    bool Fail(short handleType, void* handle, Error* error);
    void* env_ = nullptr;
    void* dbc_ = nullptr;
};

// The connection string with every password (Pwd=..., any letter case)
// replaced by "***": what may be printed or logged.
std::string HidePassword(const std::string& connectionString);

// connectionString with "Pwd=password" appended (braced when the password
// holds a character the syntax reserves).
std::string WithPassword(const std::string& connectionString, const std::string& password);

}  // namespace db

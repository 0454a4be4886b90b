// One connection to a database through the ODBC driver manager, and the
// reading of a statement's whole result. Kept apart from the platform's
// Windows-named types, which the ODBC headers define too.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace dravik::odbc {

// A value as the result holds it: nothing (SQL NULL), a whole number that
// fits 32 bits, any other number, or text.
using Cell = std::variant<std::monostate, int32_t, double, std::u16string>;

struct Rows {
    size_t fields = 0;
    std::vector<std::vector<Cell>> rows; // each of `fields` cells
};

// What the driver said about a failure: its SQLSTATEs and texts.
struct Failure {
    bool loginRefused = false; // SQLSTATE 28000
    std::u16string text;
};

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // False when the driver manager cannot be used at all.
    bool Usable() const;
    bool Open(const std::u16string& connection, Failure* failure);
    // All rows of the statement's result; nullopt and why on failure.
    std::optional<Rows> Query(const std::u16string& sql, Failure* failure);
    void Close();

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

} // namespace dravik::odbc

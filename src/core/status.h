// The outcome of an operation that can fail for a reason a person should
// read: ok, or not ok with that reason. Libraries return one and print
// nothing; the program (or tool) that can tell the user prints the reason
// as one "error: " line.
#pragma once

#include <string>
#include <utility>

struct [[nodiscard]] Status {
    bool ok = true;
    std::string reason;  // why it failed; empty when ok

    explicit operator bool() const { return ok; }
    static Status Ok() { return {}; }
    static Status Failure(std::string why) { return {false, std::move(why)}; }
};

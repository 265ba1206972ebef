// The CQG symbol taken from a full name.
#include "cqg_symbol.hpp"
#include "plain_check.hpp"

#include <string>

using corvane::gatelink::cqg_symbol_from_full_name;

int main() {
    CHECK(cqg_symbol_from_full_name("F.US.EPZ26") == "EPZ26");
    CHECK(cqg_symbol_from_full_name("EPZ26") == "EPZ26");       // no "." : the whole name
    CHECK(cqg_symbol_from_full_name("F.US.") == "");            // ends in ".": empty, as split
    CHECK(cqg_symbol_from_full_name("") == "");
    CHECK(cqg_symbol_from_full_name(".") == "");
    CHECK(cqg_symbol_from_full_name("C.US.EP.Z26P5000") == "Z26P5000");
    std::string with_nul("A.B\0C", 5);                           // bytes after a NUL are kept
    CHECK(cqg_symbol_from_full_name(with_nul) == std::string("B\0C", 3));
    CHECK(cqg_symbol_from_full_name("F.\xc3\xa9t\xc3\xa9") == "\xc3\xa9t\xc3\xa9"); // UTF-8 kept whole
    return plain_check_result();
}

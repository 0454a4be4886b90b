// The lab network server is an etcd; the database ids are the values under
// one key prefix. This is the request for them and the reading of the
// answer, apart from any transfer so that both can be tested on bytes alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

// Where the ids live in the store.
inline constexpr std::string_view kLnsDatabasePrefix = "/olvani/lns/databases/";

// Answers larger than this are refused rather than read into memory.
inline constexpr size_t kLnsAnswerLimit = 4 << 20;

// The JSON body of a range request for every key under the prefix, in key
// order (etcd's HTTP gateway, POST /v3/kv/range).
std::string LnsRangeRequest();

// The values of a range answer in the order given, as UTF-16. nullopt when
// the answer is not a range answer: not JSON, fields of the wrong type, a
// value that is not base64 of UTF-8 text, a key outside the prefix. An
// answer without "kvs" is an empty list.
std::optional<std::vector<std::u16string>> ParseLnsAnswer(std::string_view body);

} // namespace dravik

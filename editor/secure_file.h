// CSecureFile: creates the host table file with an explicit access list
// (the creator: all access; root and the administrators' group: read and
// write; nobody else anything) and writes and reads the table's fixed-length
// header, which carries the global subnet mask and gateway.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

class CSecureFile {
public:
    // True when the file could be opened or was created. The access list
    // applies only to a file created here; an existing file keeps its own.
    bool CreateSecureFile(const std::u16string& path);

    // The identities the access list names: the user running the editor,
    // the administrators' group and the system account (root).
    std::optional<uid_t> GetUserSid();
    std::optional<gid_t> CreateWorldSid();
    std::optional<uid_t> CreateSystemSid();

    // Writes the header to the file of the last successful CreateSecureFile.
    // A header of the same length is rewritten in place; anything else (a
    // header of another length or layout, or none) goes through a full
    // rewrite, so the lines after the header are never overwritten.
    bool WriteTableHeader(const std::u16string& subnetMask, const std::u16string& gateway);

    // Reads the first 101 bytes of path and takes the mask after "sm=" and
    // the gateway after "gw="; a missing tag leaves its output unchanged.
    // False when the file cannot be read or is shorter than 101 bytes.
    static bool ReadGlobalDefaults(const std::u16string& path, std::u16string& subnetMask,
                                   std::u16string& gateway);

    // The header text as it goes to disk (UTF-8, CR LF, padded to 102 bytes).
    static std::string TableHeader(const std::u16string& subnetMask, const std::u16string& gateway);

    const std::u16string& Path() const { return path_; }

private:
    std::u16string path_;
};

// Length of the padded header and the bytes ReadGlobalDefaults needs.
constexpr size_t kTableHeaderLength = 102;
constexpr size_t kGlobalDefaultsMinimum = 101;

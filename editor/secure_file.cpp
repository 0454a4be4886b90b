#include "editor/secure_file.h"

#include "editor/table_lines.h"
#include "editor/table_store.h"
#include "platform/messagebox.h"
#include "platform/strings.h"
#include "trace/client/module_trace.h"

#include <acl/libacl.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <locale.h>
#include <sys/acl.h>
#include <unistd.h>

namespace {

// The system's text for an error, in English whatever the user's locale.
std::string SystemText(int error) {
    locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    std::string text = c ? strerror_l(error, c) : std::strerror(error);
    if (c)
        freelocale(c);
    return text.substr(0, 1024);
}

// Shown at once with the failed call as the caption.
void ReportFailure(const char* call, int error) {
    char text[1100];
    std::snprintf(text, sizeof text, "Error %d: %s \n", error, SystemText(error).c_str());
    MessageBox(text, call, MB_OK | MB_ICONINFORMATION);
}

// The administrators' group of this system, whichever of the usual names exists.
std::optional<gid_t> AdministratorsGroup() {
    for (const char* name : {"sudo", "wheel", "admin"}) {
        group entry{};
        group* found = nullptr;
        char buffer[16384];
        if (getgrnam_r(name, &entry, buffer, sizeof buffer, &found) == 0 && found)
            return found->gr_gid;
    }
    return std::nullopt;
}

bool AddEntry(acl_t* acl, acl_tag_t tag, const void* qualifier, bool read, bool write,
              bool execute) {
    acl_entry_t entry;
    acl_permset_t permissions;
    if (acl_create_entry(acl, &entry) != 0 || acl_set_tag_type(entry, tag) != 0)
        return false;
    if (qualifier && acl_set_qualifier(entry, qualifier) != 0)
        return false;
    if (acl_get_permset(entry, &permissions) != 0 || acl_clear_perms(permissions) != 0)
        return false;
    if ((read && acl_add_perm(permissions, ACL_READ) != 0) ||
        (write && acl_add_perm(permissions, ACL_WRITE) != 0) ||
        (execute && acl_add_perm(permissions, ACL_EXECUTE) != 0))
        return false;
    return acl_set_permset(entry, permissions) == 0;
}

// Creator: all access; root and the administrators: read and write; the
// file's group and everyone else: nothing.
acl_t BuildAccessList(uid_t user, uid_t system, std::optional<gid_t> administrators) {
    acl_t acl = acl_init(5);
    if (!acl)
        return nullptr;
    bool ok = AddEntry(&acl, ACL_USER_OBJ, nullptr, true, true, true) &&
              AddEntry(&acl, ACL_GROUP_OBJ, nullptr, false, false, false) &&
              AddEntry(&acl, ACL_OTHER, nullptr, false, false, false) &&
              AddEntry(&acl, ACL_MASK, nullptr, true, true, false);
    if (ok && system != user)
        ok = AddEntry(&acl, ACL_USER, &system, true, true, false);
    if (ok && administrators)
        ok = AddEntry(&acl, ACL_GROUP, &*administrators, true, true, false);
    if (!ok || acl_valid(acl) != 0) {
        acl_free(acl);
        return nullptr;
    }
    return acl;
}

std::string AfterTag(const std::string& text, const char* tag, const char* end) {
    size_t at = text.find(tag);
    if (at == std::string::npos)
        return {};
    size_t from = at + std::strlen(tag);
    size_t to = text.find(end, from);
    return text.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

} // namespace

std::optional<uid_t> CSecureFile::GetUserSid() {
    ScopeTrace trace(1, u"CSecureFile::GetUserSid");
    return geteuid();
}

std::optional<gid_t> CSecureFile::CreateWorldSid() {
    ScopeTrace trace(1, u"CSecureFile::CreateWorldSid");
    std::optional<gid_t> group = AdministratorsGroup();
    if (!group)
        TraceFormat(trace, u"no administrators' group (sudo, wheel, admin) on this system");
    return group;
}

std::optional<uid_t> CSecureFile::CreateSystemSid() {
    ScopeTrace trace(1, u"CSecureFile::CreateSystemSid");
    return uid_t{0};
}

bool CSecureFile::CreateSecureFile(const std::u16string& path) {
    ScopeTrace trace(1, u"CSecureFile::CreateSecureFile");
    std::optional<uid_t> user = GetUserSid();
    std::optional<gid_t> administrators = CreateWorldSid();
    std::optional<uid_t> system = CreateSystemSid();
    if (!user || !system)
        return false;
    std::string file = olvani::Utf16ToUtf8(path);

    // An existing file is only opened and closed; a new one is created
    // exclusively, never through a link, and given its access list before
    // anything is written to it.
    int fd = open(file.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    bool created = false;
    if (fd < 0 && errno == ENOENT) {
        fd = open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        created = fd >= 0;
    }
    if (fd < 0) {
        ReportFailure("CreateFile", errno);
        return false;
    }
    if (created) {
        acl_t acl = BuildAccessList(*user, *system, administrators);
        if (!acl) {
            ReportFailure("InitializeAcl", errno ? errno : EINVAL);
            close(fd);
            return false;
        }
        // A file system without access lists keeps the owner-only mode.
        if (acl_set_fd(fd, acl) != 0 && errno != ENOTSUP) {
            int error = errno;
            acl_free(acl);
            ReportFailure("SetSecurityDescriptorDacl", error);
            close(fd);
            return false;
        }
        acl_free(acl);
    }
    if (close(fd) != 0) {
        ReportFailure("CloseHandle", errno);
        return false;
    }
    path_ = path;
    return true;
}

std::string CSecureFile::TableHeader(const std::u16string& subnetMask,
                                     const std::u16string& gateway) {
    std::string header = "# OXL Bootptab file\r\n# global defaults\r\nglobal.defaults:\\\r\n";
    header += "sm=" + olvani::Utf16ToUtf8(subnetMask) + ":\\\r\n";
    header += "gw=" + olvani::Utf16ToUtf8(gateway) + ":\r\n";
    if (header.size() < kGlobalDefaultsMinimum)
        header.append(kTableHeaderLength - header.size(), ' ');
    return header;
}

bool CSecureFile::WriteTableHeader(const std::u16string& subnetMask,
                                   const std::u16string& gateway) {
    if (path_.empty())
        return false;
    return tesslin::ReplaceTableHeader(olvani::Utf16ToUtf8(path_),
                                       TableHeader(subnetMask, gateway));
}

bool CSecureFile::ReadGlobalDefaults(const std::u16string& path, std::u16string& subnetMask,
                                     std::u16string& gateway) {
    int fd = open(olvani::Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    char buffer[kGlobalDefaultsMinimum];
    size_t got = 0;
    while (got < sizeof buffer) {
        ssize_t n = read(fd, buffer + got, sizeof buffer - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (got < kGlobalDefaultsMinimum)
        return false;
    // Only these bytes are examined, whatever follows them.
    std::string text(buffer, got);
    if (text.find("sm=") != std::string::npos)
        subnetMask = olvani::Utf8ToUtf16(AfterTag(text, "sm=", ":\\"));
    if (text.find("gw=") != std::string::npos)
        gateway = olvani::Utf8ToUtf16(AfterTag(text, "gw=", ":"));
    return true;
}

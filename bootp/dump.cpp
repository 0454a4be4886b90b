#include "bootp/dump.h"

#include "bootp/engine.h"
#include "bootp/hash_table.h"
#include "platform/safe_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

namespace {

constexpr const char* kVersionBanner = "Olvani BOOTP engine 1.0";

constexpr const char* kLegend[] = {
    "#\thd -- home directory\n",
    "#\tbf -- bootfile\n",
    "#\tbs -- bootfile size in 512-octet blocks\n",
    "#\tcs -- cookie servers\n",
    "#\tds -- domain name servers\n",
    "#\tgw -- gateways\n",
    "#\tha -- hardware address\n",
    "#\thd -- home directory for bootfiles\n",
    "#\tht -- hardware type\n",
    "#\tim -- impress servers\n",
    "#\tip -- host IP address\n",
    "#\tlg -- log servers\n",
    "#\tlp -- LPR servers\n",
    "#\tns -- IEN-116 name servers\n",
    "#\trl -- resource location protocol servers\n",
    "#\tsm -- subnet mask\n",
    "#\tto -- time offset (seconds)\n",
    "#\tts -- time servers\n\n\n",
};

// The file is text: every line ends in CR LF on disk.
void WriteText(std::string& file, std::string_view text) {
    for (char c : text) {
        if (c == '\n')
            file += '\r';
        file += c;
    }
}

void AppendFormatted(std::string& out, const char* format, auto... values) {
    char piece[64];
    std::snprintf(piece, sizeof piece, format, values...);
    out += piece;
}

void AppendList(std::string& out, const char* tag, const AddressList* list) {
    out += tag;
    out += '=';
    if (list != nullptr) {
        for (uint32_t i = 0; i < list->count; ++i) {
            if (i > 0)
                out += ' ';
            out += IpAddrText(list->addresses()[i]);
        }
    }
    out += ':';
}

std::string EntryText(const HostEntry& e) {
    std::string out;
    const uint32_t f = e.flags;
    if (e.hostName != nullptr) {
        out += e.hostName->text();
        out += ':';
    }
    if (f & HF_IPADDR)
        out += std::string("ip=") + IpAddrText(e.ipAddr) + ':';
    if (f & HF_HWTYPE) {
        AppendFormatted(out, "ht=%u:", static_cast<unsigned>(e.hwType));
        if (f & HF_HWADDR)
            out += std::string("ha=") + HwAddrText(e.hwAddr, e.hwType) + ':';
    }
    if (f & HF_SUBNET_MASK)
        out += std::string("sm=") + IpAddrText(e.subnetMask) + ':';
    for (const AddressListTag& tag : kAddressListTags) {
        if (f & tag.flag)
            AppendList(out, tag.name, e.*tag.member);
    }
    if (f & HF_TIMEOFFSET) {
        if (f & HF_TIMEOFFSET_AUTO)
            out += "to=auto:";
        else
            AppendFormatted(out, "to=%ld:", static_cast<long>(e.timeOffset));
    }
    if ((f & HF_HOMEDIR) && e.homeDir != nullptr)
        out += std::string("hd=") + e.homeDir->text() + ':';
    if ((f & HF_BOOTFILE) && e.bootFile != nullptr)
        out += std::string("bf=") + e.bootFile->text() + ':';
    if (f & HF_BOOTSIZE) {
        if (f & HF_BOOTSIZE_AUTO)
            out += "bs=auto:";
        else
            AppendFormatted(out, "bs=%d:", static_cast<int>(e.bootSize));
    }
    if ((f & HF_HOSTNAME_SPECIFIED) && (f & HF_SEND_HOSTNAME))
        out += "hn:";
    if (f & HF_VENDOR_MAGIC) {
        out += "vm=";
        const uint8_t* c = e.vendorCookie;
        if (f & HF_VENDOR_MAGIC_AUTO)
            out += "auto:";
        else if (std::memcmp(c, kCmuCookie, 4) == 0)
            out += "cmu:";
        else if (std::memcmp(c, kRfc1048Cookie, 4) == 0)
            out += "rfc1048:";
        else
            AppendFormatted(out, "%d.%d.%d.%d:", c[0], c[1], c[2], c[3]);
    }
    if (f & HF_GENERIC) {
        out += "generic=";
        if (e.generic != nullptr) {
            for (uint32_t i = 0; i < e.generic->length; ++i)
                AppendFormatted(out, "%02X", e.generic->bytes()[i]);
        }
        out += ':';
    }
    return out;
}

} // namespace

void DumpEntry(std::string& file, const HostEntry* entry) {
    if (entry != nullptr)
        WriteText(file, EntryText(*entry));
}

bool DumpDatabaseTo(BootpEngine& engine, const std::string& path) {
    std::string file;
    std::string header = std::string("\n# ") + kVersionBanner + "\n# " + path +
                         ": dump of bootp server database.\n#\n# Dump taken ";
    std::time_t now = std::time(nullptr);
    char when[32];
    header += ctime_r(&now, when);
    header += "#\n#\n# Legend:\n";
    for (const char* line : kLegend)
        header += line;
    WriteText(file, header);
    HashTable* names = engine.tables.nameTable;
    if (names != nullptr) {
        for (HostEntry* e = hash_First(names); e != nullptr; e = hash_Next(names)) {
            DumpEntry(file, e);
            WriteText(file, "\n");
        }
    }
    // Replaced whole or not at all; a link planted at the path is refused, and
    // a FIFO there is never opened.
    return olvani::ReplaceFile(path, file).ok();
}

bool DumpDatabase(BootpEngine& engine) {
    return DumpDatabaseTo(engine, engine.paths.dump);
}

#include "JournalLine.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace cx {

namespace {

bool stderrIsJournal()
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat st {};
    if (!stream || ::fstat(2, &st) != 0) return false;
    unsigned long long device = 0, inode = 0;
    return std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && device == st.st_dev && inode == st.st_ino;
}

}  // namespace

const char* journalPrefix(NotifyIcon icon)
{
    static const bool journal = stderrIsJournal();
    if (!journal) return "";
    switch (icon) {
    case NotifyIcon::Stop: return "<3>";
    case NotifyIcon::Question: return "<5>";
    case NotifyIcon::Information: return "<6>";
    default: return "<4>";
    }
}

}  // namespace cx

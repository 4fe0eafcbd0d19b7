#pragma once
// Lines on standard error that the journal files under their priority.

#include "Notifier.h"

namespace cx {

// "<3>" (error), "<4>" (warning), "<5>" (notice) or "<6>" (info) for a
// message of `icon`'s kind when standard error is the journal's stream
// (systemd names it in JOURNAL_STREAM as "device:inode"); else "".
// Messages without an icon tell of failures too (a folder missing, a file
// that would not open): warnings.
const char* journalPrefix(NotifyIcon icon);

}  // namespace cx

#include "Notifier.h"

#include <cstdio>

namespace cx {

void StderrNotifier::notify(const std::string& text, const std::string& caption, NotifyIcon)
{
    std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
}

}  // namespace cx

// SPDX-License-Identifier: MIT
#include "stderr_notifier.h"

#include <cstdio>

namespace nalvexa {

void StderrNotifier::message(const std::string& text, Caption)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

Answer StderrNotifier::askYesNoCancel(const std::string& text)
{
    std::fprintf(stderr, "%s Yes\n", text.c_str());
    std::fflush(stderr);
    return Answer::Yes;
}

Answer StderrNotifier::askOkCancel(const std::string& text)
{
    std::fprintf(stderr, "%s OK\n", text.c_str());
    std::fflush(stderr);
    return Answer::Ok;
}

}  // namespace nalvexa

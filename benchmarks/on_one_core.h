#pragma once

#include <sched.h>

// A reply's time depends much on whether the answering thread runs on the
// client's core or must wake another, idle one (tens of microseconds more, at
// random). For the reply figures the client and every server share one core
// while this lives: threads made and children forked after inherit it.
class OnOneCore {
public:
    OnOneCore()
    {
        ::sched_getaffinity(0, sizeof before_, &before_);
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(0, &one);
        ::sched_setaffinity(0, sizeof one, &one);
    }
    ~OnOneCore() { ::sched_setaffinity(0, sizeof before_, &before_); }

private:
    cpu_set_t before_;
};

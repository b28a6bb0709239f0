// The link timer of a test's device clients and links that have no session:
// one for the test process, outliving every client of every test.
#pragma once

#include "net/SWL_LinkTimer.h"

namespace testing_support {

inline CSWL_LinkTimer& TestLinkTimer() {
    static CSWL_LinkTimer timer;
    return timer;
}

}  // namespace testing_support

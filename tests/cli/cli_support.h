// How the cli tests judge the end of a run of jvs.
#pragma once

#include <gtest/gtest.h>

#include "JvsProcess_support.h"

// The exit status, and standard error holding `err`.
inline ::testing::AssertionResult Ended(const CJvsResult& r, int status,
                                        const std::string& err = "") {
    if (r.status == status && r.err.find(err) != std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "status " << r.status << " (not " << status << "), standard error:\n"
           << r.err << "(to hold: " << err << ")";
}

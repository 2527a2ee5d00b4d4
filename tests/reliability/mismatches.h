// Reports the first few mismatches of a kind and counts them all, so a long run stays readable.
#pragma once

#include <gtest/gtest.h>

#include <string>

struct Mismatches {
    long count = 0;
    void Add(const std::string &what)
    {
        if (++count <= 5)
            ADD_FAILURE() << what;
    }
};

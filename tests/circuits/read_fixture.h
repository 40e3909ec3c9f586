// tests/circuits/read_fixture.h: a program read for a test, which fails where it does not read.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "circuits/circuit.h"
#include "circuits/qasm_reader.h"

namespace circuits_test {

inline circuits::Circuit read(const std::string& program)
{
    circuits::Circuit c;
    circuits::ReadError error;
    EXPECT_TRUE(circuits::read_qasm(program, "p.qasm", c, error))
        << circuits::located("p.qasm", error);
    return c;
}

} // namespace circuits_test

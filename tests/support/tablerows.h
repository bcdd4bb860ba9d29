// Rows of table-driven tests carry a `name`: it names each case in test listings, and the row in
// failure messages. A test file brings the printing in with `using Vantrel::Test::operator<<;` beside
// its rows, where GoogleTest finds it by the rows' namespace.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace Vantrel::Test {

template <typename Row>
auto operator<<(std::ostream &os, const Row &row) -> decltype(os << row.name)
{
    return os << row.name;
}

// The name generator of INSTANTIATE_TEST_SUITE_P for such rows.
struct RowName
{
    template <typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row> &info) const
    {
        return info.param.name;
    }
};

} // namespace Vantrel::Test

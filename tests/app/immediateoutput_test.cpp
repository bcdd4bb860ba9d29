// Standard output written at once only where that cannot make the caller wait.
#include "app/immediateoutput.h"
#include "tests/support/tablerows.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Vantrel {
namespace {

using Test::operator<<;

enum class Target { Pipe, Socket, File, Terminal };

// Descriptor 1 pointed at a target for the test's lifetime; `read` is where its bytes can be read back.
struct RedirectedStdout
{
    explicit RedirectedStdout(Target target)
    {
        int ends[2] = {-1, -1};
        switch (target) {
        case Target::Pipe:
            EXPECT_EQ(::pipe(ends), 0);
            ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
            break;
        case Target::Socket:
            EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
            break;
        case Target::File: {
            char path[] = "/tmp/immediateoutput-XXXXXX";
            ends[1] = ::mkstemp(path);
            ends[0] = ::open(path, O_RDONLY);
            ::unlink(path);
            break;
        }
        case Target::Terminal:
            ends[1] = ::open("/dev/null", O_WRONLY); // a character device, as a terminal is
            break;
        }
        read = ends[0];
        ::fcntl(read, F_SETFL, O_NONBLOCK);
        saved = ::dup(STDOUT_FILENO);
        ::dup2(ends[1], STDOUT_FILENO);
        ::close(ends[1]);
    }
    ~RedirectedStdout()
    {
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        ::close(read);
    }
    QByteArray readBack() const
    {
        char buffer[65536];
        const ssize_t n = ::read(read, buffer, sizeof buffer);
        return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
    }

    int read = -1;
    int saved = -1;
};

struct Row
{
    const char *name;
    Target target;
    bool immediate; // written at once, rather than left to the writer thread
    bool canFill; // a reader that does not read makes it refuse bytes
};

class ImmediateOutputTargets : public testing::TestWithParam<Row>
{};

TEST_P(ImmediateOutputTargets, WritesWhatGoesOutWithoutWaitingAndRefusesTheRest)
{
    const Row row = GetParam();
    RedirectedStdout redirected(row.target);
    ImmediateOutput output;
    const QByteArray line = "1700000000;\t123;\t1;\t\n";
    ASSERT_EQ(output.write(line.constData(), size_t(line.size())), row.immediate ? size_t(line.size()) : 0u);
    EXPECT_EQ(redirected.readBack(), row.immediate && row.target != Target::Terminal ? line : QByteArray());

    // Nobody reads: a pipe or socket fills up, and then takes nothing more instead of blocking.
    const QByteArray block(1024, 'x');
    size_t taken = 0;
    for (int i = 0; i < 4096 && (taken = output.write(block.constData(), size_t(block.size()))) == 1024u; ++i) {
    }
    EXPECT_EQ(taken < 1024u, row.canFill || !row.immediate);
}

INSTANTIATE_TEST_SUITE_P(Targets, ImmediateOutputTargets,
                         testing::Values(Row{"Pipe", Target::Pipe, true, true},
                                         Row{"Socket", Target::Socket, true, true},
                                         Row{"File", Target::File, true, false},
                                         Row{"Terminal", Target::Terminal, false, false}),
                         Test::RowName());

TEST(ImmediateOutput, FollowsDescriptorOneToWhereItPointsNow)
{
    ImmediateOutput output;
    const QByteArray first = "first\n", second = "second\n";
    RedirectedStdout one(Target::Pipe);
    ASSERT_EQ(output.write(first.constData(), size_t(first.size())), size_t(first.size()));
    {
        RedirectedStdout two(Target::Pipe);
        ASSERT_EQ(output.write(second.constData(), size_t(second.size())), size_t(second.size()));
        EXPECT_EQ(two.readBack(), second);
    }
    EXPECT_EQ(one.readBack(), first);
}

} // namespace
} // namespace Vantrel

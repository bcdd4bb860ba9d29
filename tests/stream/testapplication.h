#pragma once

#include <QCoreApplication>

#include <cstdint>
#include <vector>

// Stands in for the program's application object: the pipe reaches it only through these two signals.
class TestApplication : public QCoreApplication
{
    Q_OBJECT

public:
    using QCoreApplication::QCoreApplication;

    static TestApplication *instance() { return static_cast<TestApplication *>(QCoreApplication::instance()); }

Q_SIGNALS:
    void newRawData(uint32_t id, std::vector<uint8_t> data);
    void closeNamedPipe();
};

#pragma once

#include "process/exitstatus.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <optional>

namespace Vantrel {

class AlgorithmLoader;
class RunInfo;

// How the command line ends the program before a run: its status, and what is printed first.
struct CommandLineExit
{
    enum class Output {
        AlreadyLogged, // the run configuration has logged its reason
        Warnings, // warnings of the program's log, one record each
        LogLine, // one "# " line written as it is, past the log's level and trimming
        Parser, // the parser's own help, version or syntax error
    };

    ExitStatus status = ExitStatus::Success;
    Output output = Output::AlreadyLogged;
    QStringList messages;
};

// What a step of the command line decides: nothing (go on), or the end of the program.
using CommandLineOutcome = std::optional<CommandLineExit>;

// The program's command line: its options, the log level, the positional words that select an
// algorithm, a sensor and parameter values in the run configuration, and the checks before a run.
// Every step answers with an outcome; only leaveIf() ends the process.
class CommandLine
{
    // The texts belong to the application, as its users know them.
    Q_DECLARE_TR_FUNCTIONS(Vantrel::Application)

public:
    explicit CommandLine(QStringList arguments);

    void setupOptions(const QString &pipeName, const QString &optionsPath);
    void parse();
    CommandLineOutcome readLogLevel(int &level) const;
    void setupPositionalArgument(const AlgorithmLoader &loader);
    // The positional words, then the option syntax, help and version, print-options and the hold time.
    CommandLineOutcome processArguments(const AlgorithmLoader &loader, RunInfo &runInfo);
    CommandLineOutcome checkParams(const RunInfo &runInfo) const;
    // The stop-after time in seconds, 0 when none is asked.
    CommandLineOutcome readStopAfter(int &seconds) const;

    bool isSet(const QString &option) const { return m_parser.isSet(option); }
    QString value(const QString &option) const { return m_parser.value(option); }

    // The one place where the command line ends the process: what the outcome says is printed, then
    // the process exits with its status. An outcome that goes on does nothing.
    void leaveIf(const CommandLineOutcome &outcome);

private:
    CommandLineOutcome parsePositionalArguments(const AlgorithmLoader &loader, RunInfo &runInfo);
    CommandLineOutcome readTimeout(RunInfo &runInfo) const;

    QStringList m_arguments;
    QCommandLineParser m_parser;
    // Knows only -h/--help: tells whether help was asked before the main parser reports anything.
    QCommandLineParser m_helpParser;
};

} // namespace Vantrel

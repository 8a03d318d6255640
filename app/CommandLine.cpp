#include "app/CommandLine.h"

#include "app/ExitStatus.h"
#include "app/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kProgram = "quelmar-drive-updater";

constexpr const char* kDescription =
    "Writes new firmware to attached Quelmar BD-RW drives. Without options it opens its window; "
    "--list and --update work in a terminal, without one.\n"
    "See quelmar-drive-updater(1) for its environment variables, log and files.\n"
    "\n"
    "Exit status:\n"
    "  0  updated, or listed\n"
    "  1  the update failed, or was not confirmed\n"
    "  2  usage error\n"
    "  3  no drive that may be updated at that index\n"
    "  4  another instance of the updater runs\n"
    "  5  the updater cannot run here safely (see the manual)\n"
    "  6  the output asked for could not be written\n"
    "  7  the scenario file named by QUELMAR_SCENARIO could not be read";

// A position in the list: digits only, so that "1x" or "-1" is no index.
std::optional<long> indexFrom(const QString& text) {
    const std::string digits = text.toStdString();
    long index = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (digits.empty() || digits.front() == '-' || error != std::errc() ||
        end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return index;
}

// Help and version are all such a command is for: when they cannot be
// written, the caller learns it from the status.
int writtenOut(const char* what) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: the %s could not be written to standard output (%s).\n", kProgram,
                     what, std::strerror(errno));
        return exitstatus::kOutputFailed;
    }
    return exitstatus::kDone;
}

} // namespace

std::variant<int, CommandLineRequest> CommandLine::parse(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    QCommandLineParser parser;
    // "-platform" is one unknown option, not eight unknown letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption help(QStringList{"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version(QStringList{"v", "version"}, "Show the version and exit.");
    const QCommandLineOption list("list",
                                  "List the drives of the target model, in the window's order: "
                                  "whether each may be updated, and to what, or why not.");
    const QCommandLineOption json("json", "With --list: print one JSON document instead.");
    const QCommandLineOption update(
        "update", "Update the drive at position INDEX of the list (1 is the first).", "INDEX");
    const QCommandLineOption yes(QStringList{"y", "yes"},
                                 "With --update: update without asking first.");
    const QCommandLineOption verbose(
        "verbose", "With --list or --update: also show the trace of every command to a drive.");
    for (const auto* option : {&help, &version, &list, &json, &update, &yes, &verbose}) {
        parser.addOption(*option);
    }

    CommandLineRequest request;
    QString mistake;
    if (!parser.parse(arguments)) {
        mistake = parser.errorText();
    } else if (!parser.positionalArguments().isEmpty()) {
        mistake = QString("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
    } else if (parser.isSet(list) && parser.isSet(update)) {
        mistake = "--list and --update cannot be combined.";
    } else if (parser.isSet(json) && !parser.isSet(list)) {
        mistake = "--json goes with --list.";
    } else if (parser.isSet(yes) && !parser.isSet(update)) {
        mistake = "--yes goes with --update.";
    } else if (parser.isSet(verbose) && !parser.isSet(list) && !parser.isSet(update)) {
        mistake = "--verbose goes with --list or --update.";
    } else if (parser.isSet(update)) {
        if (const auto index = indexFrom(parser.value(update))) {
            request.index = *index;
        } else {
            mistake = QString("'%1' is not a position in the list: --update takes a number that "
                              "--list shows.")
                          .arg(parser.value(update));
        }
    }
    if (!mistake.isEmpty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                     qPrintable(mistake), kProgram);
        return exitstatus::kUsageError;
    }
    if (parser.isSet(help)) {
        // The usage line names the program as it was called, which the parser
        // reads from an application object; a core one needs no display.
        QCoreApplication core(argc, argv);
        std::fputs(qPrintable(parser.helpText()), stdout);
        return writtenOut("help");
    }
    if (parser.isSet(version)) {
        std::printf("%s %.*s\n", kProgram, static_cast<int>(kQuelmarVersion.size()),
                    kQuelmarVersion.data());
        return writtenOut("version");
    }

    if (parser.isSet(list)) {
        request.mode = CommandLineRequest::Mode::List;
    } else if (parser.isSet(update)) {
        request.mode = CommandLineRequest::Mode::Update;
    }
    request.json = parser.isSet(json);
    request.yes = parser.isSet(yes);
    request.verbose = parser.isSet(verbose);
    return request;
}

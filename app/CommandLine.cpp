#include "app/CommandLine.h"

#include "app/ExitStatus.h"
#include "app/StringTableTranslator.h"
#include "app/Version.h"
#include "platform/foundation/Localized.h"
#include "platform/foundation/Log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr const char* kProgram = "quelmar-drive-updater";

// What --help says above the options, a text of the string tables a line.
std::string description() {
    using foundation::localized;
    constexpr auto kExitStatuses = std::to_array<std::pair<int, const char*>>({
        {0, "updated, or listed"},
        {1, "the update failed, or was not confirmed"},
        {2, "usage error"},
        {3, "no drive that may be updated at that index"},
        {4, "another instance of the updater runs"},
        {5, "the updater cannot run here safely (see the manual)"},
        {6, "the output asked for could not be written"},
        {7, "the scenario file named by QUELMAR_SCENARIO could not be read"},
    });
    std::string text = localized("Writes new firmware to attached Quelmar BD-RW drives. Without "
                                 "options it opens its window; --list and --update work in a "
                                 "terminal, without one.") +
                       "\n" +
                       localized("See quelmar-drive-updater(1) for its environment variables, "
                                 "log and files.") +
                       "\n\n" + localized("Exit status:");
    for (const auto& [status, meaning] : kExitStatuses) {
        text += foundation::format("\n  %d  %s", status, localized(meaning).c_str());
    }
    return text;
}

QString qLocalized(const char* english) {
    return QString::fromStdString(foundation::localized(english));
}

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
int writtenOut(bool help) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const char* cause = std::strerror(errno);
        const std::string message =
            help
                ? foundation::localizedFormat(
                      "%s: the help could not be written to standard output (%s).", kProgram, cause)
                : foundation::localizedFormat(
                      "%s: the version could not be written to standard output (%s).", kProgram,
                      cause);
        std::fprintf(stderr, "%s\n", message.c_str());
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
    // The parser's own texts (its usage line, its errors) are translated
    // through an application object, and the usage line names the program as
    // it was called from one; a core one needs no display.
    int coreArgc = argc;
    const QCoreApplication core(coreArgc, argv);
    StringTableTranslator translator;
    QCoreApplication::installTranslator(&translator);

    QCommandLineParser parser;
    // "-platform" is one unknown option, not eight unknown letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromStdString(description()));
    const QCommandLineOption help(QStringList{"h", "help"}, qLocalized("Show this help and exit."));
    const QCommandLineOption version(QStringList{"v", "version"},
                                     qLocalized("Show the version and exit."));
    const QCommandLineOption list(
        "list", qLocalized("List the drives of the target model, in the window's order: whether "
                           "each may be updated, and to what, or why not."));
    const QCommandLineOption json("json",
                                  qLocalized("With --list: print one JSON document instead."));
    const QCommandLineOption update(
        "update", qLocalized("Update the drive at position INDEX of the list (1 is the first)."),
        "INDEX");
    const QCommandLineOption yes(QStringList{"y", "yes"},
                                 qLocalized("With --update: update without asking first."));
    const QCommandLineOption verbose(
        "verbose",
        qLocalized("With --list or --update: also show the trace of every command to a drive."));
    for (const auto* option : {&help, &version, &list, &json, &update, &yes, &verbose}) {
        parser.addOption(*option);
    }

    CommandLineRequest request;
    QString mistake;
    if (!parser.parse(arguments)) {
        mistake = parser.errorText();
    } else if (!parser.positionalArguments().isEmpty()) {
        mistake = QString::fromStdString(foundation::localizedFormat(
            "Unexpected argument '%s'.", qPrintable(parser.positionalArguments().first())));
    } else if (parser.isSet(list) && parser.isSet(update)) {
        mistake = qLocalized("--list and --update cannot be combined.");
    } else if (parser.isSet(json) && !parser.isSet(list)) {
        mistake = qLocalized("--json goes with --list.");
    } else if (parser.isSet(yes) && !parser.isSet(update)) {
        mistake = qLocalized("--yes goes with --update.");
    } else if (parser.isSet(verbose) && !parser.isSet(list) && !parser.isSet(update)) {
        mistake = qLocalized("--verbose goes with --list or --update.");
    } else if (parser.isSet(update)) {
        if (const auto index = indexFrom(parser.value(update))) {
            request.index = *index;
        } else {
            mistake = QString::fromStdString(foundation::localizedFormat(
                "'%s' is not a position in the list: --update takes a number that --list shows.",
                qPrintable(parser.value(update))));
        }
    }
    if (!mistake.isEmpty()) {
        const std::string tryHelp =
            foundation::localizedFormat("Try '%s --help' for more information.", kProgram);
        std::fprintf(stderr, "%s: %s\n%s\n", kProgram, qPrintable(mistake), tryHelp.c_str());
        return exitstatus::kUsageError;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return writtenOut(true);
    }
    if (parser.isSet(version)) {
        std::printf("%s %.*s\n", kProgram, static_cast<int>(kQuelmarVersion.size()),
                    kQuelmarVersion.data());
        return writtenOut(false);
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

#include "app/AccessProblemText.h"

#include "app/TerminalText.h"
#include "platform/foundation/Localized.h"

#include <algorithm>
#include <cstring>

namespace {

// How a text from the system (a node, a mount point) is shown where the
// paragraph goes.
using Shown = std::string (*)(std::string_view);

std::string asIs(std::string_view text) {
    return std::string(text);
}

std::string describedError(int osError) {
    const char* description = strerrordesc_np(osError);
    return description != nullptr ? description : foundation::localized("unknown error");
}

std::string notPermitted(const char* node) {
    return foundation::localizedFormat(
        "You are not permitted to use the drive %s. Log in at this computer's own screen, "
        "or ask an administrator to add you to the group \"cdrom\" and log in again.",
        node);
}

std::string disconnected(const char* node) {
    return foundation::localizedFormat("The drive %s was disconnected. Connect it and try again.",
                                       node);
}

std::string paragraphFor(const iokit::AccessResult& problem, Shown shown) {
    const std::string shownNode = shown(problem.deviceNode);
    const char* node = shownNode.c_str();
    switch (problem.refusal) {
    case iokit::AccessRefusal::NotPermitted:
        return notPermitted(node);
    case iokit::AccessRefusal::HeldElsewhere:
        return foundation::localizedFormat(
            "The drive %s is in use by another program. Close that program and try again.", node);
    case iokit::AccessRefusal::DiscMounted: {
        const std::string place = problem.mountPoint ? shown(*problem.mountPoint)
                                                     : foundation::localized("an unknown place");
        return foundation::localizedFormat(
            "A disc in the drive %s is mounted at %s. Eject the disc and try again.", node,
            place.c_str());
    }
    case iokit::AccessRefusal::Gone:
        return disconnected(node);
    case iokit::AccessRefusal::OsError:
        return foundation::localizedFormat("The drive %s could not be opened (%s).", node,
                                           describedError(problem.osError).c_str());
    case iokit::AccessRefusal::None:
        break;
    }
    return {};
}

std::string paragraphFor(const iokit::TransportFailure& failure, Shown shown) {
    const std::string shownNode = shown(failure.deviceNode);
    const char* node = shownNode.c_str();
    switch (failure.transport) {
    case iokit::Transport::Gone:
        return disconnected(node);
    case iokit::Transport::TimedOut:
        return foundation::localizedFormat("The drive %s did not answer in time.", node);
    case iokit::Transport::NotPermitted:
        return notPermitted(node);
    case iokit::Transport::OsError:
        return foundation::localizedFormat("A command could not be sent to the drive %s (%s).",
                                           node, describedError(failure.osError).c_str());
    case iokit::Transport::Done:
        break;
    }
    return {};
}

std::string causeFor(const UpdateOutcome& outcome, Shown shown) {
    if (outcome.access) {
        return paragraphFor(*outcome.access, shown);
    }
    return outcome.transport ? paragraphFor(*outcome.transport, shown) : std::string();
}

std::string textFor(const std::vector<iokit::AccessResult>& problems, Shown shown) {
    std::vector<std::string> paragraphs;
    for (const auto& problem : problems) {
        std::string paragraph = paragraphFor(problem, shown);
        if (!paragraph.empty() &&
            std::find(paragraphs.begin(), paragraphs.end(), paragraph) == paragraphs.end()) {
            paragraphs.push_back(std::move(paragraph));
        }
    }
    std::string text;
    for (const auto& paragraph : paragraphs) {
        text += (text.empty() ? "" : "\n\n") + paragraph;
    }
    return text;
}

} // namespace

std::string informativeTextForAccessProblems(const std::vector<iokit::AccessResult>& problems) {
    return textFor(problems, asIs);
}

std::string terminalTextForAccessProblems(const std::vector<iokit::AccessResult>& problems) {
    return textFor(problems, printableOnTerminal);
}

std::string informativeTextForUpdateCause(const UpdateOutcome& outcome) {
    return causeFor(outcome, asIs);
}

std::string terminalTextForUpdateCause(const UpdateOutcome& outcome) {
    return causeFor(outcome, printableOnTerminal);
}

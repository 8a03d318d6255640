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

std::string paragraphFor(const iokit::AccessResult& problem, Shown shown) {
    const std::string shownNode = shown(problem.deviceNode);
    const char* node = shownNode.c_str();
    switch (problem.refusal) {
    case iokit::AccessRefusal::NotPermitted:
        return foundation::localizedFormat(
            "You are not permitted to use the drive %s. Log in at this computer's own screen, "
            "or ask an administrator to add you to the group \"cdrom\" and log in again.",
            node);
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
        return foundation::localizedFormat(
            "The drive %s was disconnected. Connect it and try again.", node);
    case iokit::AccessRefusal::OsError: {
        const char* description = strerrordesc_np(problem.osError);
        return foundation::localizedFormat(
            "The drive %s could not be opened (%s).", node,
            description != nullptr ? description : foundation::localized("unknown error").c_str());
    }
    case iokit::AccessRefusal::None:
        break;
    }
    return {};
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

std::vector<iokit::AccessResult> newAccessProblems(const std::vector<iokit::AccessResult>& before,
                                                   const std::vector<iokit::AccessResult>& now) {
    const auto same = [](const iokit::AccessResult& a, const iokit::AccessResult& b) {
        return a.deviceNode == b.deviceNode && a.refusal == b.refusal && a.osError == b.osError &&
               a.mountPoint == b.mountPoint;
    };
    std::vector<iokit::AccessResult> added;
    for (const auto& problem : now) {
        if (std::none_of(before.begin(), before.end(),
                         [&](const iokit::AccessResult& old) { return same(old, problem); })) {
            added.push_back(problem);
        }
    }
    return added;
}

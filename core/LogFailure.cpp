#include "core/LogFailure.h"

namespace vrx {

namespace {

std::string earlierLinesSentence(const LogFailure& failure)
{
    const std::string line = std::to_string(failure.line);
    // Before the first line there is nothing to speak of.
    const bool first = failure.line <= 1;
    switch (failure.earlierLines) {
    case EarlierLines::Shown:
        return first ? "\nNo lines are shown." : "\nOnly the lines before line " + line + " are shown.";
    case EarlierLines::Written:
        return first ? "\nNo lines were written." : "\nOnly the lines before line " + line + " were written.";
    case EarlierLines::WrittenInPart:
        // A line too long to hold, from a pipe: its start went out before it failed.
        return first ? "\nOnly a first part of line 1 was written."
                     : "\nOnly the lines before line " + line + " and a first part of line " + line + " were written.";
    case EarlierLines::None:
        break;
    }
    return {};
}

} // namespace

std::string logFailureMessage(const LogFailure& failure, std::string_view shownFile)
{
    const std::string file = "\"" + std::string(shownFile) + "\"";
    const std::string line = std::to_string(failure.line);
    switch (failure.kind) {
    case LogFailure::Kind::CannotOpen:
        return "The log file " + file + " could not be opened.\n" + failure.reason;
    case LogFailure::Kind::Empty:
        return "The log file " + file + " is empty.";
    case LogFailure::Kind::ReadFailed:
        return "The log file " + file + " could not be read at line " + line + ".\n" + failure.reason
            + earlierLinesSentence(failure);
    case LogFailure::Kind::OutOfMemory:
        if (failure.line <= 0)
            return "The log file " + file + " could not be shown.\nThere is not enough memory to hold its text.";
        return "The log file " + file + " could not be read at line " + line
            + ".\nThere is not enough memory to hold its text.";
    case LogFailure::Kind::RepairFailed:
    case LogFailure::Kind::ConvertFailed:
        return "The log file " + file + " cannot be shown from line " + line + " on.\n" + failure.reason
            + earlierLinesSentence(failure);
    }
    return {};
}

} // namespace vrx

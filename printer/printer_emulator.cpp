#include "printer/printer_emulator.h"

#include "printer/command_descriptions.h"
#include "protocol/command_set.h"

namespace ostrel {

void PrinterEmulator::DescribeCommand(const CaptureState& state, LineView& listCommands)
{
    const int first = state.commandBytes[1];
    const int second = IsSingleControlByte(first) ? 0 : state.commandBytes[2];
    CountCommandKind(kinds_, first, second);

    // With an empty log there is no line to name, and no reply goes out either.
    if (listCommands.lineCount() == 0)
        return;

    // The reply leaves before the line is annotated and before the rest of the
    // chunk is looked at, as fast as a real printer answers (or earlier still,
    // ahead of the whole chunk).
    if (IsAnsweredStatusRequest(first, second, false)) {
        if (answeredAhead_ > 0) {
            --answeredAhead_;
        } else {
            SendStatusReply(controls_, output_);
        }
    }

    const int current = listCommands.currentIndex();
    AnnotationTail(listCommands.line(current).size(), NameCommand(first, second), annotation_);
    listCommands.appendToLine(current, annotation_);
}

} // namespace ostrel

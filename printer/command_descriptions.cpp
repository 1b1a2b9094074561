#include "printer/command_descriptions.h"

#include "protocol/command_set.h"

namespace ostrel {

namespace {

    constexpr std::size_t kAnnotationColumn = 48;

} // namespace

CommandName NameCommand(int firstByte, int secondByte)
{
    if (IsSingleControlByte(firstByte)) {
        for (const SingleByteCommand& command : kSingleByteCommands) {
            if (command.byte == firstByte)
                return { "", command.name };
        }
    }
    if (!IsPrefixByte(firstByte))
        return { "", kUnknownCommandName };
    const PrefixCommand* command = FindPrefixCommand(firstByte, secondByte);
    return { FamilyPrefix(firstByte), command != nullptr ? command->name : kUnknownCommandName };
}

std::string CommandDescription(int firstByte, int secondByte)
{
    const CommandName command = NameCommand(firstByte, secondByte);
    return std::string(command.prefix) + std::string(command.name);
}

void AnnotationTail(std::size_t lineLength, const CommandName& command, std::string& tail)
{
    tail.assign(lineLength < kAnnotationColumn ? kAnnotationColumn - lineLength : 0, ' ');
    tail += '>';
    tail += command.prefix;
    tail += command.name;
}

std::string AnnotatedLine(std::string line, std::string_view description)
{
    std::string tail;
    AnnotationTail(line.size(), { "", description }, tail);
    return line + tail;
}

} // namespace ostrel

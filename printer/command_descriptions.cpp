#include "printer/command_descriptions.h"

#include "capture/control_bytes.h"

namespace ostrel {

namespace {

struct Named {
    int second;
    std::string_view text;
};

constexpr Named kSingle[] = {
    {BEL, "Bell."}, {HT, "Tab."}, {LF, "LF."}, {FF, "Form Feed."}, {CR, "CR."},
};

constexpr Named kDle[] = {
    {'R', "Status Request."},
};

constexpr Named kEsc[] = {
    {30, "Reverse Video ON."},
    {'!', "Set Print Mode."},
    {'*', "Bit Image."},
    {'-', "Underline."},
    {'2', "Set 1/16 line spacing."},
    {'3', "Set line spacing."},
    {'@', "Initialize."},
    {'C', "Set Pg Len."},
    {'D', "Set Horizontal Tabs."},
    {'J', "Feed n dot lines."},
    {'K', "Feed Reverse n dot lines."},
    {'R', "Select International Char Set."},
    {'a', "Set Barcode Justification."},
    {'c', "Select Paper Type."},
    {'t', "Select Page Code."},
};

constexpr Named kGs[] = {
    {12, "Feed to TOF."},
    {'!', "Select Char Size."},
    {'B', "Reverse Video."},
    {'E', "Print Quality Setting."},
    {'H', "HRI Position."},
    {'L', "Set Left Margin."},
    {'V', "Paper Cut."},
    {'W', "Set Right Margin."},
    {'f', "HRI Font."},
    {'h', "Barcode Height."},
    {'k', "Barcode Print."},
    {'w', "Barcode Magnification."},
};

// "x" and "y" really have no full stop, unlike "A".
constexpr Named kUs[] = {
    {'*', "Bit Image."},
    {'A', "Set Horizontal Print Position."},
    {'C', "Set Pg Len."},
    {'E', "Eject/Retract."},
    {'F', "Set Four Strobe."},
    {'K', "Presenter Purge Timeout."},
    {'S', "IEEE-1284 Status Disable/Enable."},
    {'b', "Windows Begin Doc."},
    {'e', "Windows End Doc."},
    {'x', "Set Horizontal Print Position"},
    {'y', "Set Vertical Print Position"},
};

constexpr std::string_view kUnknown = ".";
constexpr std::size_t kAnnotationColumn = 48;

template <std::size_t N>
std::string_view Lookup(const Named (&table)[N], int key)
{
    for (const Named& entry : table) {
        if (entry.second == key)
            return entry.text;
    }
    return kUnknown;
}

} // namespace

CommandName NameCommand(int firstByte, int secondByte)
{
    switch (firstByte) {
    case BEL:
    case HT:
    case LF:
    case FF:
    case CR:
        return {"", Lookup(kSingle, firstByte)};
    case DLE:
        return {"DLE: ", Lookup(kDle, secondByte)};
    case ESC:
        return {"ESC: ", Lookup(kEsc, secondByte)};
    case GS:
        return {"GS:  ", Lookup(kGs, secondByte)};
    case US:
        return {"US:  ", Lookup(kUs, secondByte)};
    default:
        return {"", kUnknown};
    }
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
    AnnotationTail(line.size(), {"", description}, tail);
    return line + tail;
}

} // namespace ostrel

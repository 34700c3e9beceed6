#include "command_buttons.h"

void CommandButtons::cmd_Click(int Index) {
    switch (Index) {
        case kCreate:
            Create();
            break;
        case kOpen:
            Open();
            break;
        case kPrint:
            Print();
            break;
        case kCopy:
            Copy();
            break;
        case kExit:
            Exit();
            break;
        default:
            break;
    }
}

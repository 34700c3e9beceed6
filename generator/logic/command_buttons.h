// The window's command buttons, the control array `cmd`: one click handler
// that branches on the button's Index. Each face of the window derives from
// CommandButtons and supplies the five commands.
#pragma once

class CommandButtons {
  public:
    // Indexes of the buttons in `cmd`.
    enum Index { kCreate = 0, kOpen = 1, kPrint = 2, kCopy = 3, kExit = 4 };

    virtual ~CommandButtons() = default;

    // Runs the command of button `Index`: 0 Create, 1 Open, 2 Print, 3 Copy,
    // 4 Exit; any other Index does nothing. The window's thread.
    void cmd_Click(int Index);

  protected:
    virtual void Create() = 0;
    virtual void Open() = 0;
    virtual void Print() = 0;
    virtual void Copy() = 0;
    virtual void Exit() = 0;
};

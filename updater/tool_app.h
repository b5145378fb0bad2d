// The update tool's application object: runs the main window modally until
// it closes. The tool takes no arguments.
#pragma once

namespace zr417::updater {

class CNorvane_MP_TOOLApp {
public:
    int InitInstance(int& argc, char** argv);
    int ExitInstance();
};

}  // namespace zr417::updater

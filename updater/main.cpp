#include "platform/files.h"
#include "updater/tool_app.h"

int main(int argc, char** argv)
{
    zr417::SurviveFileSizeLimit();
    zr417::updater::CNorvane_MP_TOOLApp app;
    return app.InitInstance(argc, argv);
}

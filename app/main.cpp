#include "app/kalvex_app.h"
#include "platform/files.h"

int main(int argc, char** argv)
{
    zr417::SurviveFileSizeLimit();
    zr417::CKalvexApp app;
    app.InitInstance(argc, argv);
    return 0;
}

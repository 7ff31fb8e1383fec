#include "app/CloneApp.h"
#include "platform/qt/Application.h"

int main(int argc, char** argv)
{
    platform::CDialogApp application(argc, argv, "Vantrel");
    CCloneApp cloneApp(application);
    cloneApp.InitInstance();
    return cloneApp.ExitCode();
}

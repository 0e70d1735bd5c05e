#include "app/OrvalisApplication.h"
#include "app/TForm1.h"

int main(int argc, char** argv) {
    orv::OrvalisApplication app(argc, argv);
    int code = 0;
    {
        orv::TForm1 form(QCoreApplication::applicationFilePath());
        form.showOnScreen();
        code = app.exec();
    }  // destroying the main window performs the exit saves
    return code;
}

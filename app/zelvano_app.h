// The application object: shows the main window and ends with it.
#pragma once

#include "platform/platform.h"

class CZelvanoApp : public CWinApp {
public:
    CZelvanoApp() : CWinApp() {}
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

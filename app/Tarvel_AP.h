// The application object.
#pragma once

#include "framework/WinApp.h"

class CTarvel_APApp : public CWinApp {
public:
    CTarvel_APApp();
    BOOL InitInstance() override;
};

// The settings file lives in framework/ so that lower folders can use it too.
#pragma once

#include "framework/SettingsFile.h"

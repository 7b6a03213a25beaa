// The main window connected to the scriptable fake (registered as the running server object), with Russian
// format settings and scripted message boxes, for the computing and trips list tests.
#pragma once

#include "automation/Navilonix_OCX.h"
#include "forms/Controls.h"
#include "forms/Main.h"
#include "forms/UiSeam.h"
#include "platform/rtl/FormatSettings.h"
#include "tests/forms/WindowFixture.h"
#include "tests/support/FakeAutomation.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class ComputingFixture : public WindowFixture {};

#pragma once

// The skin engine: XML skins, windowless controls, notifications, skinned windows.

#include "UIDefs.h"
#include "UIControl.h"
#include "UIContainer.h"
#include "UICommonControls.h"
#include "UIList.h"
#include "UIManager.h"
#include "UIDlgBuilder.h"
#include "UIWindow.h"
#include "UIMenu.h"
#include "UIInvoke.h"
#include "UIGettext.h"

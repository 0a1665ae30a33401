#pragma once

// The skin engine: XML skins, windowless controls, notifications, skinned windows.

#include "UICommonControls.h"
#include "UIContainer.h"
#include "UIControl.h"
#include "UIDefs.h"
#include "UIDlgBuilder.h"
#include "UIGettext.h"
#include "UIInvoke.h"
#include "UIList.h"
#include "UIManager.h"
#include "UIMenu.h"
#include "UIWindow.h"

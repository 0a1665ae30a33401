#pragma once

// Where the avatar window puts its crop frame and its picture for a client area.
struct AvatarLayout {
  int frameLeft = 0;
  int frameTop = 0;
  int frameSize = 0;
  int drawLeft = 0;
  int drawTop = 0;
  int drawWidth = 0;
  int drawHeight = 0;
};

// The square frame is centred, 5 px inside the shorter side (empty for a client under
// 10 px); the picture covers it and is centred on it. No picture (0 x 0) draws nothing.
AvatarLayout LayoutAvatar(int clientWidth, int clientHeight, int imageWidth, int imageHeight);

// Where a frame of w x h is painted inside a screen of W x H.
#pragma once

struct FitResult {
    int width = 0, height = 0; // painted size
    int x = 0, y = 0;          // offset inside the screen
};

FitResult fitFrame(int frameWidth, int frameHeight, int screenWidth, int screenHeight, int rotation,
                   bool fullScreen);

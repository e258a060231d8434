// Every window id the program gives, with the number it always had (tests find controls by
// them). A number may serve controls on different parents, or on one parent where the tabs
// show one set at a time: a handler only tells apart the ids of its own controls.
#pragma once

enum WindowId : int {
    // The frame's heartbeat.
    ID_FRAME_TIMER = 1000,

    // The tab buttons on the top-left tile.
    ID_TAB_PREVIEW = 12300,
    ID_TAB_BROWSE = 12301,
    ID_TAB_SETUP = 12302,

    // Each tab's tool column: the three tabs use the same numbers.
    ID_PREVIEW_SNAPSHOT = 12310,
    ID_PREVIEW_RECORD = 12311,
    ID_PREVIEW_MIRROR = 12312,
    ID_PREVIEW_ROTATE = 12313,
    ID_BROWSE_SNAPSHOT = 12310,
    ID_BROWSE_MIRROR = 12311,
    ID_BROWSE_ROTATE = 12312,
    ID_SETUP_FOLDER = 12310,
    ID_SETUP_STAMP = 12311,

    // The bottom bar: the player's buttons (browse tab) and the box's controls (live view)
    // share 12320-12322.
    ID_VIDEO_STOP = 12320,
    ID_VIDEO_PLAY = 12321,
    ID_VIDEO_PAUSE = 12322,
    ID_BOX_LED_DOWN = 12320,
    ID_BOX_LED_UP = 12321,
    ID_BOX_BOOST = 12322,
    ID_BOX_ROTATE = 12323,
    ID_BOX_LED_SWITCH = 12324,

    // The thumbnail strip: four slots from 12330, their delete marks from 12335.
    ID_STRIP_SLOT = 12330,
    ID_STRIP_DELETE = 12335,
    ID_STRIP_PREV = 12340,
    ID_STRIP_NEXT = 12341,
    ID_STRIP_FILTER_ALL = 12344,
    ID_STRIP_FILTER_PHOTO = 12345,
    ID_STRIP_FILTER_VIDEO = 12346,

    // The setup page's four stamp formats from 12350.
    ID_SETUP_STAMP_FORMAT = 12350,
    ID_PROGRESS_BAR = 12355,

    ID_CAMERA_LIST = 12390,
    ID_SETUP_CONFIRM = 12391,
    ID_SETUP_CANCEL = 12392,
    ID_SETUP_ADD = 12393,
    // Both the full-screen button and, in full screen, its exit button.
    ID_FULLSCREEN = 12394,
    ID_ABOUT = 12400,
};

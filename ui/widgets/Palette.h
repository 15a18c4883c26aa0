#pragma once
// The client's colours, each named once. A colour is a string literal, so a
// style sheet built from the names stays one literal and reads as it renders:
//
//   QStringLiteral("QLabel#Hint { color: " QX_MUTED "; background: " QX_PANEL "; }")
//
// and a painter takes the same name: QColor(QX_ACCENT). A few colours are
// spelled in lower case because their sheets are written that way.

// Surfaces, from the window's background up.
#define QX_BACKGROUND "#0B0C0F"        // the window; also the text on orange buttons
#define QX_BACKGROUND_RGB "11, 12, 15" // for rgba(QX_BACKGROUND_RGB, alpha)
#define QX_PANEL "#111317"             // cards, panels, the header band's controls
#define QX_PANEL_HOVER "#15181f"
#define QX_RAISED "#1A1E24" // surfaces on a panel, switch knobs, unread rows
#define QX_BORDER "#414245" // card borders, dashed rules, grey buttons

// Text.
#define QX_WHITE "#FFFFFF"
#define QX_SOFT "#B8B9BA"
#define QX_SECONDARY "#ADADAD"
#define QX_MUTED "#707174"
#define QX_CAPTION "#a9b0b6"

// The orange accent and its button states.
#define QX_ACCENT "#FA8207"
#define QX_ACCENT_RGB "250, 130, 7" // for rgba(QX_ACCENT_RGB, alpha)
#define QX_ACCENT_HOVER "#FF941F"
#define QX_ACCENT_PRESSED "#E27200"
#define QX_ADD_GAME_HOVER "#ff8f22"
#define QX_ADD_GAME_PRESSED "#e77400"
#define QX_EMPTY_ADD_HOVER "#FF8C2A"
#define QX_EMPTY_ADD_PRESSED "#E97806"
#define QX_SIGN_UP_BADGE "#CC6700"
#define QX_WAIT_ORANGE "#ff7a18" // the sign-in and proxy wait overlays

// Grey buttons.
#define QX_GREY_HOVER "#4A4B4E"
#define QX_GREY_PRESSED "#353639"
#define QX_LOGOUT_HOVER "#20242B"

// The silver gradient of chips and active navigation (top stop; the bottom
// stop is QX_MUTED), and its hover.
#define QX_SILVER_TOP "#E8E8E8"
#define QX_SILVER_TOP_HOVER "#F0F0F0"
#define QX_SILVER_BOTTOM_HOVER "#808389"

// The grey gradient of the idle connect button, and pressed.
#define QX_CONNECT_IDLE_TOP "#7F8288"
#define QX_CONNECT_IDLE_BOTTOM "#4D5056"
#define QX_CONNECT_PRESSED_TOP "#61646A"
#define QX_CONNECT_PRESSED_BOTTOM "#35383E"

// The header band, side navigation and their popups.
#define QX_NAV_DOT_HOVER "#151820"
#define QX_NAV_ICON "#F5F5F5"
#define QX_WINDOW_BUTTON_HOVER "#17191f"
#define QX_BELL_POPUP_BORDER "#333333"

// Settings controls.
#define QX_SELECT_ROW_HOVER "#23262C"
#define QX_HELP_ICON "#22262E"

// The server picker: a relay whose ping is not known.
#define QX_PING_UNKNOWN "#FF3C00"

// The home page's hero card gradient end.
#define QX_HERO_BLUE "#004D80"

// The section titles' silver gradient, after white.
#define QX_TITLE_SHADE_1 "#CCCCCC"
#define QX_TITLE_SHADE_2 "#B3B3B3"
#define QX_TITLE_SHADE_3 "#A6A6A6"
#define QX_TITLE_SHADE_4 "#999999"

// The hardware card's gauges.
#define QX_CPU_ACCENT "#00A0DF"
#define QX_GPU_ACCENT "#EE07FA"
#define QX_GAUGE_NAME "#515151"
#define QX_GAUGE_TRACK "#16161b"
#define QX_GAUGE_TEXT "#eaeaf0"
#define QX_GAUGE_CAPTION "#b7b7c2"

// Progress: the route analysis page and the sign-in wait overlay.
#define QX_PROGRESS "#f57711"
#define QX_OPTIMIZER_BACKGROUND "#0a0e13"
#define QX_PROGRESS_TEXT "#e6e6e6"
#define QX_PROGRESS_HINT "#aab2ba"
#define QX_PROGRESS_BORDER "#242a2f"

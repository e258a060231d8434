#include "app/notice.h"

#include "app/notice_state.h"

namespace
{
const wxColour kNoticeYellow(255, 255, 0);
const wxColour kNoticeRed(255, 40, 40);
constexpr int kNoticeTime = 3000;
} // namespace

wxColour g_NoticeColour = kNoticeYellow;
int g_InfoTime = 0;
wxString g_LastFileName;

void showNotice(const wxString& text)
{
    g_LastFileName = text;
    g_NoticeColour = kNoticeYellow;
    g_InfoTime = kNoticeTime;
}

void showFailureNotice(const wxString& text)
{
    g_LastFileName = text;
    g_NoticeColour = kNoticeRed;
    g_InfoTime = kNoticeTime;
}

void clearNotice()
{
    g_InfoTime = 0;
}

bool noticeIsFailure()
{
    return g_InfoTime > 0 && g_NoticeColour == kNoticeRed;
}

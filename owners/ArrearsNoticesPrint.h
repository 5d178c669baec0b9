#pragma once
#include <functional>

class ArrearsReminderWindow;
class QString;

// "催费通知单" of the arrears reminder: the notices of the houses of the list as last
// queried (its criteria and reference date), or of the selected rows only when the operator
// says so, read from one cursor with progress and "取消", shown in the print preview (print
// or PDF there). A batch that was shown goes on the change record once; a cancelled one
// writes nothing.
namespace ArrearsNoticesPrint {

void print(ArrearsReminderWindow &window);

// The list's criteria in words, for the change record: "小区名称：阳光小区；房号：01"; "全部"
// when none is ticked. When the boxes no longer give the list's conditions (changed since
// "查询"), the conditions themselves.
QString criteriaText(const ArrearsReminderWindow &window);

// Asked after every row read, before the progress window is asked whether to go on; for
// the tests, which press "取消" from here. An empty function removes it.
void setRowHook(std::function<void(int rowsRead)> hook);

} // namespace ArrearsNoticesPrint

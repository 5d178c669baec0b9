#pragma once

// The program's name and home page, read by the windows, the message boxes, the admin
// tool, the PDF writer and the export footer alike.
inline const char AppTitle[] = "澄岳供热收费管理软件";
inline const char HomePage[] = "https://www.chengyue-heating.cn/";

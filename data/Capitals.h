#pragma once
#include <QString>

// An amount of yuan in Chinese capital numerals, as printed on the receipt:
// 1234.56 -> 壹仟贰佰叁拾肆元伍角陆分. For amounts from 0 up to (not including) 10^13.
QString amountInCapitals(double amount);

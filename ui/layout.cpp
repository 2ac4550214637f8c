#include "ui/layout.h"

namespace tesqua {

std::u16string Instructions() {
  struct Line {
    int spaces_before;
    std::u16string_view text;
    int spaces_after;
  };
  // The word for software is split between lines 5 and 7 in the text itself.
  static constexpr Line kLines[] = {
      {30, u"", 0},
      {30, u"", 0},
      {30, u"", 0},
      {19, u"", 0},
      {0, u"1、使用方法：只要复制公式代码软", 0},
      {30, u"", 0},
      {1, u"件自动提示是否有未来函数！", 5},
      {24, u"", 0},
      {0, u"2、可自定义未来函数特征库，请按", 0},
      {30, u"", 0},
      {1, u"提示编辑特征库以便更加准确识别", 1},
      {15, u"", 0},
      {0, u"未来函数！", 21},
      {12, u"", 0},
      {2, u"更多更好的股软请访问Xuvo软件", 2},
      {18, u"", 0},
      {0, u"工作室网站！", 0},
  };
  std::u16string text;
  for (const Line& line : kLines) {
    text.append(std::size_t(line.spaces_before), u' ');
    text.append(line.text);
    text.append(std::size_t(line.spaces_after), u' ');
    text.append(u"\r\n");
  }
  return text;
}

}  // namespace tesqua

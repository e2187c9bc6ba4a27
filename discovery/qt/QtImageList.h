// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QIcon>
#include <QString>
#include <string_view>
#include <vector>

// imgLstIP: the two 16 x 16 row icons, drawn here rather than loaded from files.
class CQtImageList {
  public:
    CQtImageList();

    int Count() const { return static_cast<int>(m_images.size()); }
    // 1-based position of the image with that key, 0 if there is none.
    int IndexOfKey(std::string_view key) const;
    // The icon with that key; for an empty or unknown key a transparent one, so that every row's
    // text starts at the same place, as in a list with small icons.
    QIcon Icon(std::string_view key) const;

  private:
    struct CImage {
        std::string_view key;
        QIcon icon;
    };
    std::vector<CImage> m_images;
    QIcon m_blank;
};

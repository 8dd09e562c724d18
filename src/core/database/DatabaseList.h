#pragma once

#include "database/TSLocator.h"
#include "database/TSTree.h"

#include <QByteArray>

#include <vector>

namespace kalent {

// One list of test systems, held twice: as the image bytes and as the tree,
// with the locators that tie the tree's test systems to their bytes.
struct DatabaseList
{
    // The image; absent (not merely empty) until the list is first read, and
    // again after it is discarded.
    bool hasImage = false;
    QByteArray image;
    TSTree tree;
    std::vector<TSLocator> locators;
    qint32 pageCount = 0;
    qint32 tsCount = 0;

    void setImage(const QByteArray &bytes)
    {
        image = bytes;
        hasImage = true;
    }
    void discardImage()
    {
        image.clear();
        hasImage = false;
    }
};

} // namespace kalent

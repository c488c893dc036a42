#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace modFSO::detail
{

// Where udev keeps one link per labelled block device, named after the label.
inline constexpr const char *LabelFolder = "/dev/disk/by-label";

// The label of the file system on device, looked up among the links of labelFolder; empty
// when none of them leads to that device.
QString labelOfDevice(dev_t device, const QByteArray &labelFolder = LabelFolder);

// The source named by the mount that carries device (such as /dev/sda1). btrfs and others
// give their mounts a device number of their own, so the label link leads to this one.
QByteArray mountSourceOf(dev_t device);

// udev writes characters that are unsafe in a file name as \xNN.
QString decodeLabelName(const QByteArray &name);

} // namespace modFSO::detail

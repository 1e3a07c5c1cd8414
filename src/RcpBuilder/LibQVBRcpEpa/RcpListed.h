// The scanned nodes that the listings and the tree show, and the targets
// they stand for.
#pragma once

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Reads.h"

namespace rcpstore {

// The node a scan starts from for a checked target: its recipe, group or
// project directory, named by the project it lies in.
CQVERcpDirInfo ScanNode(const Target& target);

// True for the nodes a listing shows: groups RG01-RG16, recipes RCP0001-RCP1000.
bool Listed(const CQVERcpDirInfo& node);

// The target a scanned group or recipe node stands for, below its parent's.
Target TargetOfNode(const Target& parent, const CQVERcpDirInfo& node);

// A group described, with the count of its recipes as a scan found them.
StoreItem GroupItem(const Target& group, size_t recipes);

}  // namespace rcpstore

// Chunked file copy used by the style switch and the export.
#pragma once

// Copies src over des in blocks of 400 bytes, flushing after each block.
// 0 on success; -1 when src cannot be opened (des untouched), des cannot be
// created, or a read or write fails. A src and des that are the same file
// copy nothing.
int CopyFile(const char* src, const char* des);

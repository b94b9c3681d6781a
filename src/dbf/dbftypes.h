// The engine's words shared by the file layer and the dataset: how a table is opened, the types
// its fields hold and the options of an index tag.
#pragma once

enum class TFieldType {
    ftString,   // C
    ftMemo,     // M
    ftBlob,     // B, G
    ftSmallint, // N, F without decimals and at most 4 wide
    ftFloat,    // N, F otherwise
    ftBoolean,  // L
    ftDate,     // D
    ftInteger,  // I
    ftAutoInc,  // +
    ftDateTime, // @
    ftDouble    // O
};

// How a table is opened. Shared tables use record locks; an exclusive one keeps others to
// reading; a read-only one cannot be changed.
enum class TDbfAccess { Shared, Exclusive, ReadOnly };

// Options of an index tag, as bits: a dataset's index definitions and the .mdx tag flags.
enum TIndexOption : unsigned {
    ixPrimary = 1,
    ixUnique = 2,
    ixDescending = 4,
    ixCaseInsensitive = 8,
    ixExpression = 16
};

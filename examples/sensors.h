/* One reading of examples/sensors.bin, as the station's logger declares it:
   24 bytes a record, from offset 32 of the file. */
#include <stdint.h>

#ifndef RAW_BYTES
#define RAW_BYTES 4
#endif

typedef struct reading {
    uint32_t id;
    float temperature; /* degrees Celsius */
    double pressure;   /* hectopascals */
    int16_t delta;
    char status;       /* 'O', 'W', 'E' or 'K' */
    uint8_t alarm_low : 1, : 3, alarm_high : 1, : 3;
    uint8_t raw[RAW_BYTES];
} reading_t;

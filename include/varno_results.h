/* varno result codes: 0 is success; codes above VARNO_LAST_NONFATAL stop a command. */
#ifndef VARNO_RESULTS_H
#define VARNO_RESULTS_H

#define VARNO_OK                    0
#define VARNO_WARNING_FILE_EXISTS   0x8010 /* an existing file was left alone */
#define VARNO_LAST_NONFATAL         0x8011
#define VARNO_ERROR_MAKE_DIRECTORY  0x8012 /* a directory cannot be made */
#define VARNO_ERROR_OUTPUT_FILE     0x8013 /* an output file cannot be opened, created, sized or written */
#define VARNO_ERROR_DECODER         0x8017 /* decoder set-up failed, or the central directory cannot be read */
#define VARNO_ERROR_ARCHIVE_OPEN    0x8018 /* the archive cannot be opened, or encryption header bytes cannot be read */
#define VARNO_ERROR_ARCHIVE_READ    0x801A /* the archive (or a list file) cannot be read */
#define VARNO_ERROR_EXCLUDE_REFUSED 0x801C /* option -x refused */
#define VARNO_ERROR_MEMORY_OUTPUT   0x801D /* memory output refused or not allocated */
#define VARNO_ERROR_WORK_AREA       0x801E /* the work area cannot be allocated */
#define VARNO_ERROR_CANCELLED       0x8020 /* cancelled by the user; also the answer to option -h */
#define VARNO_ERROR_NO_HANDLE       0x8021 /* no open handle or no current entry */
#define VARNO_ERROR_NAME_CONVERT    0x8029 /* an entry name cannot be converted */
#define VARNO_ERROR_METHOD          0x8047 /* compression method not supported; list file unreadable */
#define VARNO_ERROR_DATA            0x8048 /* data error, premature end of data, or decryption failure */
#define VARNO_ERROR_DIALOG_STATE    0x8FFF /* the overwrite-dialog channel was in an unexpected state */

#endif

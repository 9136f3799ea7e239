/* Version of the Windows programs, for their VERSIONINFO resources. */
#ifndef AURALITH_RESOURCES_VERSION_H
#define AURALITH_RESOURCES_VERSION_H

#define AURALITH_VERSION_BINARY 1,0,2,0
#define AURALITH_VERSION_TEXT "1.0.2.0"
#define AURALITH_PRODUCT_NAME "Auralith"
#define AURALITH_COMPANY_NAME "Corvale"

#endif

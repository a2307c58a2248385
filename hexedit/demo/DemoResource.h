// Ids of the hex editor demo's own resources.
#ifndef TARVEL_HEXEDIT_DEMO_RESOURCE_H
#define TARVEL_HEXEDIT_DEMO_RESOURCE_H

#define IDD_HEXEDIT_DEMO 200
#define IDC_DEMO_HEXEDIT 1055

#endif
